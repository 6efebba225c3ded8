#include "audio/engine/mixer.h"

#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "audio/engine/chime.h"
#include "audio/engine/loudness.h"
#include "audio/engine/run_once.h"

namespace {

// The ring holds what the device will hear next: at most kAheadSeconds
// decoded ahead, whatever the file's length.
constexpr size_t kRingFrames = 32768;
constexpr double kAheadSeconds = 0.4;
constexpr size_t kChunk = 1024; // frames decoded at a time
constexpr int kMaxLine = 32;
constexpr int kMaxSegments = kMaxLine + 4;
// The limiter lets go of a reduction with this time constant: slow enough
// not to flutter on a loud stretch, quick enough to leave a click's
// neighbours alone.
constexpr double kReleaseSeconds = 0.05;

enum StreamState {
    kIdle,    // open, not heard
    kWaiting, // in the wait line
    kActive   // being decoded, or frames of it are in the ring
};

struct Stream {
    UINT_PTR id;
    SbSource* source; // null for the chime
    StreamState state;
    bool touched;  // read since it was opened: playing again starts it over
    bool prepared; // its source is ready for this play (rate, start)
    Stream* next;
    // Evening out the loudness: the file, kept to be measured, and the gain
    // it plays at, its peaks held at the ceiling by the limiter's reduction.
    char* path = nullptr;
    bool evened = false;
    float gain = 1.0f;
    float reduction = 1.0f; // under decodeLock
};

// A run of one stream's frames in the ring; last when the stream ends there.
struct Segment {
    Stream* stream;
    size_t frames;
    bool last;
};

volatile LONG onceState = 0;
CRITICAL_SECTION decodeLock;
CRITICAL_SECTION mixLock;

// Guarded by mixLock.
Stream* streams = nullptr;
UINT_PTR lastId = 0;
Stream chime = {0, nullptr, kIdle, false, false, nullptr};
unsigned rate = 0;
unsigned session = 0;
const void* attached = nullptr;
// The running engine's events (owned by it): wake when the ring runs low,
// mixed when a sound started has reached the device.
HANDLE wake = nullptr;
HANDLE mixed = nullptr;
LONG soundsMixed = 0; // sounds whose first frames a device took
LONG underruns = 0;   // periods the ring ran dry while a stream was decoding
Stream* decoding = nullptr;
unsigned decodeGeneration = 0; // changes whenever `decoding` is taken away
Stream* line[kMaxLine];
int lineCount = 0;
float ring[kRingFrames * 2];
size_t ringRead = 0;
size_t ringCount = 0;
Segment segments[kMaxSegments];
int segmentFirst = 0;
int segmentCount = 0;
LONGLONG playTick = 0;
LONGLONG firstMixTick = 0;
bool awaitingFirstMix = false;

// Guarded by decodeLock.
SbChime chimeVoice;

// Asked for by a stop, done by the device's callback (guarded by mixLock).
bool fading = false;
bool faded = false;

// The device's callback only.
float appliedGain = 1.0f;
bool soundedToTheEnd = false; // the last period was sound to its last frame

volatile LONG volumePercent = 100;

void InitOnce() {
    InitializeCriticalSection(&decodeLock);
    InitializeCriticalSection(&mixLock);
}

// Under mixLock, so the event cannot be closed meanwhile: the engine's stop
// forgets it under the same lock before the engine lets it go.
void WakeEngine() {
    if (wake)
        SetEvent(wake);
}

void EnsureInit() {
    SbRunOnce(&onceState, InitOnce);
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

Stream* Find(FSOUND_STREAM* handle) {
    auto id = reinterpret_cast<UINT_PTR>(handle);
    for (Stream* s = streams; s; s = s->next)
        if (s->id == id)
            return s;
    return nullptr;
}

size_t AheadFrames() {
    size_t want = static_cast<size_t>(rate * kAheadSeconds);
    return want < kRingFrames - kChunk ? want : kRingFrames - kChunk;
}

Segment& SegmentAt(int i) {
    return segments[(segmentFirst + i) % kMaxSegments];
}

// The stream whose frames the device mixes next, or null.
Stream* Heard() {
    return segmentCount > 0 ? SegmentAt(0).stream : decoding;
}

int WaitingCount() {
    return lineCount + (decoding && decoding != Heard() ? 1 : 0);
}

float* RingFrame(size_t logical) {
    return ring + 2 * ((ringRead + logical) % kRingFrames);
}

void RingAppend(Stream* s, const float* frames, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        float* to = RingFrame(ringCount + i);
        to[0] = frames[2 * i];
        to[1] = frames[2 * i + 1];
    }
    ringCount += n;
    if (segmentCount > 0) {
        Segment& tail = SegmentAt(segmentCount - 1);
        if (tail.stream == s && !tail.last) {
            tail.frames += n;
            return;
        }
    }
    if (segmentCount < kMaxSegments)
        segments[(segmentFirst + segmentCount++) % kMaxSegments] = {s, n, false};
}

void MarkEnd(Stream* s) {
    if (segmentCount > 0) {
        Segment& tail = SegmentAt(segmentCount - 1);
        if (tail.stream == s && !tail.last) {
            tail.last = true;
            return;
        }
    }
    if (segmentCount < kMaxSegments)
        segments[(segmentFirst + segmentCount++) % kMaxSegments] = {s, 0, true};
    else
        s->state = kIdle;
}

// The next stream of the line becomes the one decoded, straight after the
// frames of the one that ended.
Stream* PopLine() {
    if (lineCount == 0)
        return nullptr;
    Stream* s = line[0];
    std::memmove(line, line + 1, sizeof line[0] * static_cast<size_t>(--lineCount));
    s->state = kActive;
    s->prepared = false;
    return s;
}

void RemoveFromLine(Stream* s) {
    int kept = 0;
    for (int i = 0; i < lineCount; ++i)
        if (line[i] != s)
            line[kept++] = line[i];
    lineCount = kept;
}

// Takes a stream's frames out of the ring, closing the gap they leave.
void RemoveFrames(Stream* s) {
    Segment kept[kMaxSegments];
    int keptCount = 0;
    size_t from = 0, to = 0;
    for (int i = 0; i < segmentCount; ++i) {
        Segment seg = SegmentAt(i);
        if (seg.stream != s) {
            for (size_t f = 0; f < seg.frames && from != to; ++f) {
                const float* src = RingFrame(from + f);
                float* dst = RingFrame(to + f);
                dst[0] = src[0];
                dst[1] = src[1];
            }
            to += seg.frames;
            kept[keptCount++] = seg;
        }
        from += seg.frames;
    }
    ringCount = to;
    segmentFirst = 0;
    segmentCount = keptCount;
    std::memcpy(segments, kept, sizeof kept[0] * static_cast<size_t>(keptCount));
}

// Everything heard or waiting falls silent; the streams stay open.
void FlushAll() {
    for (int i = 0; i < segmentCount; ++i)
        SegmentAt(i).stream->state = kIdle;
    for (int i = 0; i < lineCount; ++i)
        line[i]->state = kIdle;
    if (decoding)
        decoding->state = kIdle;
    decoding = nullptr;
    ++decodeGeneration;
    lineCount = 0;
    ringRead = ringCount = 0;
    segmentFirst = segmentCount = 0;
    awaitingFirstMix = false;
}

// Under decodeLock: makes s's source ready to be read from its start at the
// mixing rate.
bool Prepare(Stream* s, unsigned mixRate) {
    if (!s->source) {
        SbChimeStart(&chimeVoice, mixRate);
        return true;
    }
    if (s->touched && !SbSourceRewind(s->source))
        return false;
    s->touched = true;
    s->reduction = 1.0f;
    return SbSourceSetOutputRate(s->source, mixRate);
}

// Under decodeLock: an evened stream's gain, and a peak limiter that holds
// every sample at the ceiling. It reduces at once where a sample would pass
// it (nothing passes, so nothing clips) and lets go smoothly, so a peak is
// heard a little softer rather than clipped.
void Even(Stream* s, float* frames, size_t n, unsigned mixRate) {
    if (!s->evened)
        return;
    const float release = static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * mixRate)));
    float reduction = s->reduction;
    for (size_t i = 0; i < n; ++i) {
        float left = frames[2 * i] * s->gain, right = frames[2 * i + 1] * s->gain;
        float peak = std::fmax(std::fabs(left), std::fabs(right));
        if (peak * reduction > kSbLoudnessCeiling)
            reduction = kSbLoudnessCeiling / peak;
        frames[2 * i] = left * reduction;
        frames[2 * i + 1] = right * reduction;
        reduction += (1.0f - reduction) * release;
    }
    s->reduction = reduction;
}

// Under decodeLock.
size_t Read(Stream* s, float* out, size_t n, unsigned mixRate) {
    if (!s->source)
        return SbChimeRender(&chimeVoice, out, n);
    size_t got = SbSourceRead(s->source, out, n);
    Even(s, out, got, mixRate);
    return got;
}

// Under decodeLock, not mixLock: starts s now in place of whatever is heard.
bool StartNow(Stream* s) {
    EnterCriticalSection(&mixLock);
    unsigned mixRate = rate;
    LeaveCriticalSection(&mixLock);
    if (mixRate == 0 || !Prepare(s, mixRate))
        return false;
    // The first block is decoded here, on the caller's thread, so the frames
    // are in the ring before the device's next period asks for them.
    static float first[kChunk * 2];
    size_t got = Read(s, first, kChunk, mixRate);
    EnterCriticalSection(&mixLock);
    FlushAll();
    s->state = kActive;
    s->prepared = true;
    decoding = s;
    RingAppend(s, first, got);
    if (got < kChunk) {
        MarkEnd(s);
        decoding = nullptr;
    }
    playTick = Now();
    firstMixTick = 0;
    awaitingFirstMix = true;
    WakeEngine();
    LeaveCriticalSection(&mixLock);
    return true;
}

} // namespace

FSOUND_STREAM* SbMixerOpen(SbSource* source) {
    EnsureInit();
    auto* s = new (std::nothrow) Stream{0, source, kIdle, false, false, nullptr};
    if (!s) {
        SbSourceClose(source);
        return nullptr;
    }
    EnterCriticalSection(&mixLock);
    // Handles are serial numbers, not addresses, so a stale handle closed a
    // second time can never reach a newer stream.
    if (++lastId == 0)
        ++lastId;
    s->id = lastId;
    s->next = streams;
    streams = s;
    LeaveCriticalSection(&mixLock);
    return reinterpret_cast<FSOUND_STREAM*>(s->id);
}

bool SbMixerClose(FSOUND_STREAM* handle) {
    EnsureInit();
    // decodeLock first: the stream's source may be being read right now.
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    Stream* found = Find(handle);
    if (found) {
        for (Stream** link = &streams; *link; link = &(*link)->next) {
            if (*link == found) {
                *link = found->next;
                break;
            }
        }
        RemoveFromLine(found);
        RemoveFrames(found);
        if (decoding == found) {
            decoding = PopLine();
            ++decodeGeneration;
        }
    }
    WakeEngine();
    LeaveCriticalSection(&mixLock);
    LeaveCriticalSection(&decodeLock);
    if (!found)
        return false;
    SbSourceClose(found->source);
    std::free(found->path);
    delete found;
    return true;
}

long SbMixerLengthMs(FSOUND_STREAM* handle) {
    EnsureInit();
    // decodeLock held throughout: the source may be read meanwhile, and a
    // close waits for it.
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    Stream* found = Find(handle);
    SbSource* source = found ? found->source : nullptr;
    LeaveCriticalSection(&mixLock);
    long ms = -1;
    if (source) {
        const unsigned long long frames = SbSourceLengthFrames(source);
        const unsigned rate = SbSourceNativeRate(source);
        if (frames > 0 && rate > 0 && frames / rate < 0x7fffffffUL / 1000)
            ms = static_cast<long>((frames * 1000 + rate / 2) / rate);
    }
    LeaveCriticalSection(&decodeLock);
    return ms;
}

void SbMixerCloseAll() {
    EnsureInit();
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    FlushAll();
    Stream* list = streams;
    streams = nullptr;
    LeaveCriticalSection(&mixLock);
    LeaveCriticalSection(&decodeLock);
    while (list) {
        Stream* next = list->next;
        SbSourceClose(list->source);
        std::free(list->path);
        delete list;
        list = next;
    }
}

bool SbMixerSetPath(FSOUND_STREAM* handle, const char* path) {
    EnsureInit();
    char* copy = _strdup(path);
    if (!copy)
        return false;
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    if (s)
        std::swap(s->path, copy);
    LeaveCriticalSection(&mixLock);
    std::free(copy);
    return s != nullptr;
}

bool SbMixerPath(FSOUND_STREAM* handle, char* path, size_t size) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    bool fits = s && s->path && std::strlen(s->path) < size;
    if (fits)
        std::strcpy(path, s->path);
    LeaveCriticalSection(&mixLock);
    return fits;
}

// decodeLock, so the gain never changes within a block being decoded.
void SbMixerSetGain(FSOUND_STREAM* handle, float gain) {
    EnsureInit();
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    // A stream heard or waiting keeps the gain it started with.
    if (s && s->state == kIdle) {
        s->evened = true;
        s->gain = gain;
    }
    LeaveCriticalSection(&mixLock);
    LeaveCriticalSection(&decodeLock);
}

bool SbMixerPlay(FSOUND_STREAM* handle) {
    EnsureInit();
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    bool alreadyHeard = s && s->state == kActive && Heard() == s && rate != 0;
    LeaveCriticalSection(&mixLock);
    // Playing the stream heard now keeps it playing.
    bool ok = alreadyHeard || (s && StartNow(s));
    LeaveCriticalSection(&decodeLock);
    return ok;
}

SbQueueResult SbMixerQueue(FSOUND_STREAM* handle, int maxWaiting) {
    EnsureInit();
    EnterCriticalSection(&decodeLock);
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    SbQueueResult result = kSbQueueFailed;
    bool startNow = false;
    if (!s || rate == 0) {
        result = kSbQueueFailed;
    } else if (s->state == kActive) {
        result = Heard() == s ? kSbQueuePlaying : kSbQueueWaiting;
    } else if (s->state == kWaiting) {
        result = kSbQueueWaiting;
    } else if (!Heard()) {
        startNow = true;
    } else if (WaitingCount() >= (maxWaiting < kMaxLine ? maxWaiting : kMaxLine)) {
        result = kSbQueueFull;
    } else if (!decoding) {
        // Only the last frames of the stream heard are left in the ring:
        // this one is decoded straight after them.
        s->state = kActive;
        s->prepared = false;
        decoding = s;
        result = kSbQueueWaiting;
    } else {
        s->state = kWaiting;
        line[lineCount++] = s;
        result = kSbQueueWaiting;
    }
    WakeEngine();
    LeaveCriticalSection(&mixLock);
    if (startNow)
        result = StartNow(s) ? kSbQueuePlaying : kSbQueueFailed;
    LeaveCriticalSection(&decodeLock);
    return result;
}

bool SbMixerPlayChime() {
    EnsureInit();
    EnterCriticalSection(&decodeLock);
    bool ok = StartNow(&chime);
    LeaveCriticalSection(&decodeLock);
    return ok;
}

bool SbMixerIsHeard(FSOUND_STREAM* handle) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    bool heard = s && s->state == kActive && Heard() == s;
    LeaveCriticalSection(&mixLock);
    return heard;
}

bool SbMixerIsPending(FSOUND_STREAM* handle) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    Stream* s = Find(handle);
    bool pending = s && s->state != kIdle;
    LeaveCriticalSection(&mixLock);
    return pending;
}

double SbMixerFirstMixDelayMs() {
    EnsureInit();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EnterCriticalSection(&mixLock);
    double ms = firstMixTick == 0 ? -1.0
                                  : static_cast<double>(firstMixTick - playTick) * 1000.0 /
                                        static_cast<double>(frequency.QuadPart);
    LeaveCriticalSection(&mixLock);
    return ms;
}

void SbMixerSetVolume(int percent) {
    InterlockedExchange(&volumePercent, percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

int SbMixerVolume() {
    return static_cast<int>(InterlockedCompareExchange(&volumePercent, 0, 0x7fffffff));
}

void SbMixerStart(unsigned mixRate, unsigned newSession, void* wakeEvent, void* mixedEvent) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    FlushAll();
    rate = mixRate;
    session = newSession;
    attached = nullptr;
    wake = static_cast<HANDLE>(wakeEvent);
    mixed = static_cast<HANDLE>(mixedEvent);
    fading = faded = false;
    LeaveCriticalSection(&mixLock);
}

void SbMixerStop() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    FlushAll();
    rate = 0;
    session = 0;
    attached = nullptr;
    wake = mixed = nullptr;
    LeaveCriticalSection(&mixLock);
}

unsigned SbMixerRate() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    unsigned r = rate;
    LeaveCriticalSection(&mixLock);
    return r;
}

void SbMixerUnload() {
    if (!SbRunOnceUndo(&onceState))
        return;
    DeleteCriticalSection(&decodeLock);
    DeleteCriticalSection(&mixLock);
}

bool SbMixerAttach(const void* device, unsigned deviceSession) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    bool ok = deviceSession != 0 && deviceSession == session;
    if (ok)
        attached = device;
    LeaveCriticalSection(&mixLock);
    return ok;
}

void SbMixerDetach(const void* device) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    if (attached == device)
        attached = nullptr;
    LeaveCriticalSection(&mixLock);
}

bool SbMixerFadeOut(unsigned long maxWaitMs) {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    bool sounding = attached && !faded && (segmentCount > 0 || decoding);
    if (sounding)
        fading = true;
    LeaveCriticalSection(&mixLock);
    if (!sounding)
        return true;
    for (DWORD start = GetTickCount(); GetTickCount() - start < maxWaitMs; Sleep(2)) {
        EnterCriticalSection(&mixLock);
        bool done = faded;
        LeaveCriticalSection(&mixLock);
        if (done)
            return true;
    }
    return false;
}

void SbMixerDropHeard() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    FlushAll();
    LeaveCriticalSection(&mixLock);
}

bool SbMixerSounding() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    bool sounding = segmentCount > 0 || decoding;
    LeaveCriticalSection(&mixLock);
    return sounding;
}

long SbMixerSoundsMixed() {
    return InterlockedCompareExchange(&soundsMixed, 0, 0);
}

long SbMixerUnderruns() {
    return InterlockedCompareExchange(&underruns, 0, 0);
}

bool SbMixerStartMixed() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    bool done = !awaitingFirstMix;
    LeaveCriticalSection(&mixLock);
    return done;
}

bool SbMixerWithdrawUnmixed() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    bool withdraw = awaitingFirstMix;
    if (withdraw)
        FlushAll();
    LeaveCriticalSection(&mixLock);
    return withdraw;
}

namespace {

// Decodes the stream heard until the ring holds `target` frames or the
// stream has no more. A chunk at a time, so a stream started meanwhile waits
// for one chunk at most.
void DecodeUpTo(size_t target) {
    static float block[kChunk * 2];
    for (;;) {
        EnterCriticalSection(&decodeLock);
        EnterCriticalSection(&mixLock);
        Stream* s = decoding;
        unsigned generation = decodeGeneration;
        unsigned mixRate = rate;
        size_t room = ringCount < target ? target - ringCount : 0;
        LeaveCriticalSection(&mixLock);
        if (!s || room == 0 || mixRate == 0) {
            LeaveCriticalSection(&decodeLock);
            return;
        }
        bool ready = s->prepared || Prepare(s, mixRate);
        size_t want = room < kChunk ? room : kChunk;
        size_t got = ready ? Read(s, block, want, mixRate) : 0;
        EnterCriticalSection(&mixLock);
        // Closing or replacing the stream meanwhile took it away.
        if (decoding == s && decodeGeneration == generation) {
            s->prepared = true;
            RingAppend(s, block, got);
            if (got < want) {
                MarkEnd(s);
                decoding = PopLine();
            }
        }
        LeaveCriticalSection(&mixLock);
        LeaveCriticalSection(&decodeLock);
    }
}

} // namespace

void SbMixerDecodeAhead() {
    EnsureInit();
    EnterCriticalSection(&mixLock);
    size_t ahead = AheadFrames();
    LeaveCriticalSection(&mixLock);
    DecodeUpTo(ahead);
}

void SbMixerRender(const void* device, float* out, size_t frameCount) {
    EnsureInit();
    // Only mixLock, and only for a copy: a file read (decodeLock) can take
    // as long as a disk or a network share likes, and a device kept waiting
    // that long would be taken for lost. A ring run dry is heard as a gap.
    EnterCriticalSection(&mixLock);
    if (device != attached || !device) {
        LeaveCriticalSection(&mixLock);
        std::memset(out, 0, frameCount * 2 * sizeof(float));
        return;
    }
    size_t n = frameCount < ringCount ? frameCount : ringCount;
    for (size_t i = 0; i < n; ++i) {
        const float* from = RingFrame(i);
        out[2 * i] = from[0];
        out[2 * i + 1] = from[1];
    }
    std::memset(out + 2 * n, 0, (frameCount - n) * 2 * sizeof(float));
    if (n < frameCount && decoding)
        ++underruns;
    ringRead = (ringRead + n) % kRingFrames;
    ringCount -= n;
    size_t left = n;
    while (segmentCount > 0) {
        Segment& front = SegmentAt(0);
        size_t take = front.frames < left ? front.frames : left;
        front.frames -= take;
        left -= take;
        if (front.frames > 0 || !front.last)
            break;
        // A stream heard to its end; what follows it starts this period.
        front.stream->state = kIdle;
        segmentFirst = (segmentFirst + 1) % kMaxSegments;
        --segmentCount;
    }
    // A sound that starts now starts at the volume set, with no ramp from
    // the one before: only a sound already heard is ramped.
    bool starting = awaitingFirstMix || !soundedToTheEnd;
    if (awaitingFirstMix && n > 0) {
        firstMixTick = Now();
        awaitingFirstMix = false;
        ++soundsMixed;
        if (mixed)
            SetEvent(mixed);
    }
    soundedToTheEnd = n == frameCount && frameCount > 0;
    if (decoding && ringCount < AheadFrames() / 2)
        WakeEngine();
    bool fadeNow = fading && !faded;
    bool silent = faded;
    if (fadeNow)
        faded = true;
    LeaveCriticalSection(&mixLock);
    if (silent) {
        std::memset(out, 0, frameCount * 2 * sizeof(float));
        return;
    }

    // The volume, ramped over this period when it changed.
    float target = fadeNow ? 0.0f : static_cast<float>(SbMixerVolume()) / 100.0f;
    if (starting)
        appliedGain = target;
    if (target != appliedGain) {
        float step = (target - appliedGain) / static_cast<float>(frameCount ? frameCount : 1);
        for (size_t i = 0; i < frameCount; ++i) {
            float g = appliedGain + step * static_cast<float>(i + 1);
            out[2 * i] *= g;
            out[2 * i + 1] *= g;
        }
        appliedGain = target;
    } else if (target != 1.0f) {
        for (size_t i = 0; i < frameCount * 2; ++i)
            out[i] *= target;
    }
}
