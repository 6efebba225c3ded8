#include "audio/engine/dsound_output.h"

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <dsound.h>

#include <cstring>
#include <new>
#include <vector>

#include "audio/engine/feeder.h"
#include "audio/engine/pcm16.h"
#include "audio/engine/system_library.h"
#include "audio/engine/winmm_output.h"

namespace {

// The secondary buffer, and how much of it is kept queued ahead of the
// write cursor: enough to ride out a busy machine, little enough to start a
// sound well within a tenth of a second (the system keeps its own queue of
// a few tens of milliseconds behind the write cursor). The buffer is long
// only so that a feeder held up for most of a second still finds the play
// cursor within the lap it left it in; its length costs no latency.
constexpr unsigned kBufferMs = 1000;
constexpr unsigned kAheadMs = 30;
// The buffer wakes the feeder each time its play cursor passes a mark this
// far apart; a wait twice as long is the fallback should a mark go missing.
constexpr unsigned kMarkMs = 10;
constexpr DWORD kBackstopMs = 2 * kMarkMs;
// Without marks (a driver that cannot set them) the feeder polls, with the
// system timer raised to 1 ms while the buffer plays: XP's default tick of
// 10-15.6 ms would make a 5 ms poll as long as the queue.
constexpr DWORD kPollMs = 5;
constexpr size_t kBytesPerFrame = 4; // 16-bit stereo
constexpr int kMaxErrors = 3;

// IID_IDirectSoundNotify, here rather than from dxguid.
const GUID kIidNotify = {
    0xb0210783, 0x89cd, 0x11d0, {0xaf, 0x08, 0x00, 0xa0, 0xc9, 0x25, 0xcd, 0x16}};

typedef HRESULT(WINAPI* CreateFn)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);
typedef HRESULT(WINAPI* EnumerateFn)(LPDSENUMCALLBACKA, LPVOID);
typedef MMRESULT(WINAPI* TimerFn)(UINT);

volatile LONG feederDelayMs = 0;

struct Found {
    int wanted;
    int index = 0;
    GUID guid;
    bool found = false;
};

BOOL CALLBACK OnDevice(LPGUID guid, LPCSTR, LPCSTR, LPVOID param) {
    auto* f = static_cast<Found*>(param);
    if (f->index++ == f->wanted && guid) {
        f->guid = *guid;
        f->found = true;
        return FALSE;
    }
    return TRUE;
}

// The 1 ms timer, held while a polling feeder plays and never otherwise.
void HoldFineTimer(bool hold) {
    const char* name = hold ? "timeBeginPeriod" : "timeEndPeriod";
    if (auto fn = reinterpret_cast<TimerFn>(SbWinmmProc(name)))
        fn(1);
}

} // namespace

struct SbDsOutput {
    HMODULE library = nullptr;
    IDirectSound* sound = nullptr;
    IDirectSoundBuffer* buffer = nullptr;
    DWORD bufferBytes = 0;
    DWORD aheadBytes = 0;
    DWORD next = 0;     // where the next frames go
    DWORD lastPlay = 0; // the play cursor at the last pass
    SbDsRender render = nullptr;
    void* user = nullptr;
    std::vector<float> frames;
    std::vector<short> pcm;
    HANDLE marks = nullptr; // the buffer's position marks; null: the feeder polls
    bool timerHeld = false;
    SbFeeder feeder;
};

namespace {

DWORD Distance(const SbDsOutput* o, DWORD from, DWORD to) {
    return (to + o->bufferBytes - from) % o->bufferBytes;
}

// Fills bytes of the buffer from offset `at`: the mixer's frames when
// rendering, else silence.
bool Fill(SbDsOutput* o, DWORD at, DWORD bytes, bool rendering) {
    void* part[2] = {};
    DWORD size[2] = {};
    HRESULT hr = o->buffer->Lock(at, bytes, &part[0], &size[0], &part[1], &size[1], 0);
    if (hr == DSERR_BUFFERLOST && SUCCEEDED(o->buffer->Restore()))
        hr = o->buffer->Lock(at, bytes, &part[0], &size[0], &part[1], &size[1], 0);
    if (FAILED(hr))
        return false;
    for (int i = 0; i < 2; ++i) {
        size_t count = size[i] / kBytesPerFrame;
        if (!part[i] || count == 0)
            continue;
        if (!rendering) {
            std::memset(part[i], 0, size[i]);
            continue;
        }
        if (o->frames.size() < count * 2)
            o->frames.resize(count * 2);
        o->render(o->user, o->frames.data(), count);
        SbFloatToS16(o->frames.data(), static_cast<short*>(part[i]), count * 2);
    }
    return SUCCEEDED(o->buffer->Unlock(part[0], size[0], part[1], size[1]));
}

// From a stopped buffer: silence throughout, the first frames at the start,
// playing.
bool StartPlaying(SbDsOutput* o) {
    o->buffer->Stop();
    if (FAILED(o->buffer->SetCurrentPosition(0)) || !Fill(o, 0, o->bufferBytes, false) ||
        !Fill(o, 0, o->aheadBytes, true))
        return false;
    o->next = o->aheadBytes;
    o->lastPlay = 0;
    if (FAILED(o->buffer->Play(0, 0, DSBPLAY_LOOPING)))
        return false;
    if (!o->marks && !o->timerHeld) {
        HoldFineTimer(true);
        o->timerHeld = true;
    }
    return true;
}

void StopPlaying(SbDsOutput* o) {
    o->buffer->Stop();
    if (o->timerHeld) {
        HoldFineTimer(false);
        o->timerHeld = false;
    }
}

// One pass of the feeder: what the play cursor passed becomes silence, and
// the queue ahead of the write cursor is topped up.
bool Pass(SbDsOutput* o) {
    DWORD play = 0, write = 0;
    HRESULT hr = o->buffer->GetCurrentPosition(&play, &write);
    if (hr == DSERR_BUFFERLOST)
        return SUCCEEDED(o->buffer->Restore()) && StartPlaying(o);
    if (FAILED(hr))
        return false;
    DWORD advanced = Distance(o, o->lastPlay, play);
    DWORD pending = Distance(o, o->lastPlay, o->next);
    if (advanced > 0 && !Fill(o, o->lastPlay, advanced, false))
        return false;
    o->lastPlay = play;
    // The cursor ran past the frames queued (the feeder was late), or the
    // write cursor did: go on where writing is safe, after the silence
    // heard meanwhile.
    if (advanced >= pending || Distance(o, play, o->next) < Distance(o, play, write))
        o->next = write;
    DWORD queued = Distance(o, write, o->next);
    if (queued >= o->aheadBytes)
        return true;
    DWORD bytes = (o->aheadBytes - queued) / kBytesPerFrame * kBytesPerFrame;
    if (bytes == 0)
        return true;
    if (!Fill(o, o->next, bytes, true))
        return false;
    o->next = (o->next + bytes) % o->bufferBytes;
    return true;
}

DWORD WINAPI Feed(void* param) {
    auto* o = static_cast<SbDsOutput*>(param);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    HANDLE waits[3] = {o->feeder.quit, o->feeder.control, o->marks};
    DWORD waitCount = o->marks ? 3 : 2;
    bool paused = false;
    int errors = 0;
    for (;;) {
        DWORD timeout = paused ? INFINITE : o->marks ? kBackstopMs : kPollMs;
        if (WaitForMultipleObjects(waitCount, waits, FALSE, timeout) == WAIT_OBJECT_0)
            break;
        bool pause = SbFeederWantsPause(o->feeder);
        if (pause != paused) {
            paused = pause;
            if (paused) {
                StopPlaying(o);
            } else if (!StartPlaying(o)) {
                errors = kMaxErrors;
                break;
            }
        }
        if (paused)
            continue;
        if (LONG delay = InterlockedExchange(&feederDelayMs, 0))
            Sleep(static_cast<DWORD>(delay));
        if (Pass(o)) {
            errors = 0;
        } else if (++errors >= kMaxErrors) {
            break;
        }
    }
    if (errors >= kMaxErrors)
        InterlockedExchange(&o->feeder.failed, 1);
    StopPlaying(o);
    CoUninitialize();
    return 0;
}

// Marks every kMarkMs of the buffer, all setting o->marks. False when the
// buffer cannot have them; the feeder then polls.
bool SetMarks(SbDsOutput* o, unsigned rate) {
    IDirectSoundNotify* notify = nullptr;
    if (FAILED(o->buffer->QueryInterface(kIidNotify, reinterpret_cast<void**>(&notify))))
        return false;
    DWORD step = rate * kMarkMs / 1000 * kBytesPerFrame;
    std::vector<DSBPOSITIONNOTIFY> marks(o->bufferBytes / step);
    for (size_t i = 0; i < marks.size(); ++i) {
        marks[i].dwOffset = static_cast<DWORD>(i) * step;
        marks[i].hEventNotify = o->marks;
    }
    bool ok =
        SUCCEEDED(notify->SetNotificationPositions(static_cast<DWORD>(marks.size()), marks.data()));
    notify->Release();
    return ok;
}

void Release(SbDsOutput* o) {
    if (o->buffer) {
        StopPlaying(o);
        o->buffer->Release();
    }
    if (o->sound)
        o->sound->Release();
    if (o->marks)
        CloseHandle(o->marks);
    SbFeederCloseEvents(o->feeder);
    if (o->library)
        FreeLibrary(o->library);
    delete o;
}

} // namespace

SbDsOutput* SbDsOpen(int deviceIndex, unsigned rate, SbDsRender render, void* user, char* error,
                     size_t errorSize) {
    auto* o = new (std::nothrow) SbDsOutput;
    if (!o) {
        SbPutError(error, errorSize, "The sound output could not be started: out of memory.");
        return nullptr;
    }
    o->render = render;
    o->user = user;
    // Looked up at run time, like every other part of the system's audio.
    o->library = LoadLibraryA("dsound.dll");
    auto create = SbProc<CreateFn>(o->library, "DirectSoundCreate");
    auto enumerate = SbProc<EnumerateFn>(o->library, "DirectSoundEnumerateA");
    if (!create) {
        SbPutError(error, errorSize, "DirectSound is not available on this computer.");
        Release(o);
        return nullptr;
    }
    // Device n of the enumeration; the first entry is the system's default.
    Found found{deviceIndex};
    if (deviceIndex > 0 && enumerate)
        enumerate(OnDevice, &found);
    if (FAILED(create(found.found ? &found.guid : nullptr, &o->sound, nullptr)) ||
        FAILED(o->sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
        SbPutError(error, errorSize, "The sound output device could not be opened.");
        Release(o);
        return nullptr;
    }
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = kBytesPerFrame;
    format.nAvgBytesPerSec = rate * kBytesPerFrame;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    // Global focus: the plug-in's sounds play whichever window is active.
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLPOSITIONNOTIFY;
    desc.dwBufferBytes = rate * kBufferMs / 1000 * kBytesPerFrame;
    desc.lpwfxFormat = &format;
    o->bufferBytes = desc.dwBufferBytes;
    o->aheadBytes = rate * kAheadMs / 1000 * kBytesPerFrame;
    HRESULT hr = o->sound->CreateSoundBuffer(&desc, &o->buffer, nullptr);
    if (FAILED(hr)) {
        // A driver without position marks: the feeder polls instead.
        desc.dwFlags &= ~static_cast<DWORD>(DSBCAPS_CTRLPOSITIONNOTIFY);
        hr = o->sound->CreateSoundBuffer(&desc, &o->buffer, nullptr);
    }
    bool events = SbFeederEvents(o->feeder);
    o->marks = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (FAILED(hr) || !events) {
        SbPutError(error, errorSize, "The sound output device could not be opened.");
        Release(o);
        return nullptr;
    }
    if (!o->marks || !SetMarks(o, rate)) {
        if (o->marks)
            CloseHandle(o->marks);
        o->marks = nullptr;
    }
    if (!StartPlaying(o)) {
        SbPutError(error, errorSize, "The sound output device could not be started.");
        Release(o);
        return nullptr;
    }
    if (!SbFeederStart(o->feeder, Feed, o, error, errorSize)) {
        Release(o);
        return nullptr;
    }
    return o;
}

bool SbDsFailed(SbDsOutput* o) {
    return SbFeederFailed(o->feeder);
}

void SbDsPause(SbDsOutput* o, bool paused) {
    if (!o)
        return;
    SbFeederPause(o->feeder, paused);
}

void SbDsDelayFeederForTest(unsigned ms) {
    InterlockedExchange(&feederDelayMs, static_cast<LONG>(ms));
}

void SbDsClose(SbDsOutput* o) {
    if (!o)
        return;
    SbFeederStop(o->feeder);
    Release(o);
}
