// The stream engine behind the audio-library contract and the listener
// controls: the seven calls, the probes and the controls, each a short way
// into the output (output.*: the device and the engine's own thread) and the
// mixer (mixer.*: the streams, the decode-ahead ring, the volume).
#include <windows.h>

#include <cstdio>

#include "audio/engine/codec_worker.h"
#include "audio/engine/engine_probe.h"
#include "audio/engine/loudness_worker.h"
#include "audio/engine/mixer.h"
#include "audio/engine/output.h"
#include "audio/engine/output_choice.h"
#include "audio/engine/stream_source.h"
#include "audio/engine_controls.h"
#include "audio/engine_unload.h"
#include "audio/fsound.h"

namespace {
// The rate the chime starts the engine at when nothing started it yet.
constexpr int kChimeRate = 44100;
// How long an open through the system's codecs may take: the plug-in answers
// a received sound within half a second, and an open of that kind costs
// 100-250 ms where it works at all.
constexpr unsigned long kCodecOpenWaitMs = 450;
// How long a stop waits for the codec thread to let the codecs go.
constexpr unsigned long kCodecStopWaitMs = 2000;
// A sound is answered within this: the host's thread is the chat's. A little
// is kept back for the caller's own work around the call.
constexpr DWORD kSoundBoundMs = 130;
// How much later than without evening a sound may start while its loudness
// is measured (50 ms), less the system timer's tick (15.6 ms by default) a
// timed-out wait can overrun by.
constexpr unsigned long kEvenWaitMs = 34;
// How long a stop waits for the loudness worker, which checks between
// blocks of a few milliseconds.
constexpr unsigned long kLoudnessStopWaitMs = 300;

volatile LONG evenLoudness = 0;

// A file played with evening on gets its gain before it starts: measured
// then, or found measured before. Its path is kept from the open.
void EvenOut(FSOUND_STREAM* handle) {
    char path[1024];
    if (SbEngineEvenLoudness() && SbMixerPath(handle, path, sizeof path))
        SbMixerSetGain(handle, SbLoudnessGainFor(path, kEvenWaitMs));
}

// Starts a sound so that it is heard from its start or not at all: a device
// runs (or restarts) within the bound, and takes the sound's first frames
// within it too; otherwise the sound is withdrawn.
template <typename StartFn> bool StartHeard(StartFn start) {
    DWORD startTick = GetTickCount();
    if (SbMixerRate() == 0 || !SbOutputEnsure(startTick, kSoundBoundMs))
        return false;
    return start() && SbOutputConfirmStart(startTick, kSoundBoundMs);
}
} // namespace

extern "C" {

signed char FSOUND_API FSOUND_SetOutput(int type) {
    if (type < FSOUND_OUTPUT_NOSOUND || type > FSOUND_OUTPUT_DSOUND)
        return 0;
    SbChoiceSetType(type); // takes effect at the next device the engine opens
    return 1;
}

signed char FSOUND_API FSOUND_SetDriver(int driver) {
    if (driver < 0)
        return 0;
    SbChoiceSetDriver(driver);
    return 1;
}

// A start while the engine runs keeps the running device and whatever plays
// on it: the plug-in runs the start calls a second time on its first Play.
signed char FSOUND_API FSOUND_Init(int mixRate, int, unsigned int) {
    return SbOutputStart(mixRate) ? 1 : 0;
}

FSOUND_STREAM* FSOUND_API FSOUND_Stream_OpenFile(const char* path, unsigned int, int) {
    // ASF and MP4 go to the system's codecs and only they; everything else
    // to the engine's own decoders.
    SbContainer kind = SbSniffFile(path);
    SbSource* source = kind == kSbAsf || kind == kSbMp4 ? SbCodecOpen(path, kind, kCodecOpenWaitMs)
                                                        : SbSourceOpenFile(path);
    FSOUND_STREAM* handle = source ? SbMixerOpen(source) : nullptr;
    // The system's codecs are bound to their own thread, so their files are
    // not measured: they play at unity gain, still under the limiter.
    if (handle && SbEngineEvenLoudness() && (kind == kSbAsf || kind == kSbMp4))
        SbMixerSetGain(handle, 1.0f);
    else if (handle && SbEngineEvenLoudness())
        SbMixerSetPath(handle, path);
    return handle;
}

// Returns 0, so the plug-in says the sound could not be played, unless the
// sound is heard from its start.
int FSOUND_API FSOUND_Stream_Play(int, FSOUND_STREAM* handle) {
    if (!handle)
        return 0;
    EvenOut(handle);
    return StartHeard([&] { return SbMixerPlay(handle); }) ? 1 : 0;
}

signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM* handle) {
    return SbMixerClose(handle) ? 1 : 0;
}

void FSOUND_API FSOUND_Close(void) {
    SbOutputStop();
    SbMixerStop();
    SbMixerCloseAll();
    SbCodecStop(kCodecStopWaitMs);
    SbLoudnessStop(kLoudnessStopWaitMs);
}

} // extern "C"

void SbEngineUnload() {
    SbOutputUnload();
    SbMixerUnload();
    SbChoiceUnload();
    SbCodecUnload();
    SbLoudnessUnload();
}

bool SbEngineIsPlaying(FSOUND_STREAM* handle) {
    return SbMixerIsHeard(handle);
}

double SbEngineFirstMixDelayMs() {
    return SbMixerFirstMixDelayMs();
}

unsigned SbEngineMixRate() {
    return SbMixerRate();
}

long SbEngineUnderruns() {
    return SbMixerUnderruns();
}

long SbEngineWakeups() {
    return SbOutputWakeups();
}

long SbEngineStuckShutdowns() {
    return SbOutputStuckShutdowns();
}

void SbEngineSetVolume(int percent) {
    SbMixerSetVolume(percent);
}

int SbEngineVolume() {
    return SbMixerVolume();
}

long SbEngineStreamLengthMs(FSOUND_STREAM* stream) {
    return SbMixerLengthMs(stream);
}

void SbEngineSetEvenLoudness(bool on) {
    InterlockedExchange(&evenLoudness, on ? 1 : 0);
}

bool SbEngineEvenLoudness() {
    return InterlockedCompareExchange(&evenLoudness, 0, 0) != 0;
}

// A sound that waits its turn is not confirmed: what waits in the line when
// the device is lost is dropped with what plays.
SbQueueResult SbEngineQueueStream(FSOUND_STREAM* stream, int maxWaiting) {
    SbQueueResult result = kSbQueueFailed;
    if (stream)
        EvenOut(stream);
    bool ok = stream && StartHeard([&] {
                  result = SbMixerQueue(stream, maxWaiting);
                  return result != kSbQueueFailed;
              });
    return ok || result == kSbQueueFull ? result : kSbQueueFailed;
}

bool SbEngineStreamPending(FSOUND_STREAM* stream) {
    return SbMixerIsPending(stream);
}

bool SbEnginePlayChime(char* reason, std::size_t size) {
    auto fail = [&](const char* why) {
        if (reason && size > 0) {
            char detail[160];
            SbOutputLastError(detail, sizeof detail);
            std::snprintf(reason, size, "%s", *detail ? detail : why);
        }
        return false;
    };
    if (!SbOutputRunning())
        SbOutputStart(kChimeRate);
    if (SbMixerRate() == 0 || !SbOutputEnsure(GetTickCount(), kSoundBoundMs))
        return fail("No sound output device could be opened.");
    if (!StartHeard([] { return SbMixerPlayChime(); }))
        return fail("The chime could not be started.");
    if (reason && size > 0)
        reason[0] = '\0';
    return true;
}
