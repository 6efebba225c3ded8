#include "audio/engine/output.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "audio/engine/capture_wav.h"
#include "audio/engine/dsound_output.h"
#include "audio/engine/ma_config.h"
#include "audio/engine/mixer.h"
#include "audio/engine/run_once.h"
#include "audio/engine/winmm_output.h"
#include "audio/fsound.h"

namespace {

// A device that has not called back for this long is lost (the longest
// period of any output is 40 ms, so even a busy machine calls back sooner).
constexpr DWORD kLostAfterMs = 500;
// A sound that finds the device silent this long waits for a sign of life
// before the device is opened again.
constexpr DWORD kQuietMs = 200;
// Retries while no device opens: from kFirstRetryMs, doubling to kMaxRetryMs.
constexpr DWORD kFirstRetryMs = 250;
constexpr DWORD kMaxRetryMs = 30000;
// A sound may ask for an attempt of its own this long after the last one.
constexpr DWORD kSoundRetryGapMs = 500;
// How long a caller waits for an attempt it asked for.
constexpr DWORD kStartWaitMs = 2000;
constexpr DWORD kEnsureWaitMs = 1500;
// How long a device that will not shut down is helped before it is left.
constexpr DWORD kShutdownHelpMs = 450;
// How long FSOUND_Close waits for the engine's thread, and before that for
// the sound heard to fade out (two of the longest periods).
constexpr DWORD kStopWaitMs = 800;
constexpr DWORD kFadeWaitMs = 90;

enum Kind { kSystem, kSilent, kCapture };

// What to open: chosen by the plug-in, or by SONABELL_AUDIO_OUTPUT.
struct Choice {
    Kind kind = kSystem;
    ma_backend backends[3] = {};
    ma_uint32 backendCount = 0;
    int driverIndex = 0;
    std::vector<char> capturePath;
};

// One opened device, owned by the engine's thread until it is retired, then
// by the thread that shuts it down.
struct Output {
    ma_context context;
    ma_device device;
    bool contextReady = false;
    bool deviceReady = false;
    SbDsOutput* ds = nullptr; // DirectSound is driven by the engine itself
    SbWmOutput* wm = nullptr; // and so is WinMM
    bool silent = false;      // the silent device: nothing to lose, never reopened
    unsigned session = 0;
    SbCapture* capture = nullptr;
    volatile LONG retired = 0;
    volatile LONG stoppedByItself = 0;
    volatile LONG shuttingDown = 0;
    volatile DWORD lastCallback = 0;
    // What a stuck shutdown is helped with (see Retire).
    HANDLE heldEvent = nullptr;
    HANDLE uninitDone = nullptr;
    HANDLE helperGone = nullptr;
};

volatile LONG onceState = 0;
CRITICAL_SECTION controlLock; // the callers' side: start, stop, ensure
CRITICAL_SECTION choiceLock;  // the choice and the last error, briefly

// Guarded by choiceLock.
int outputType = FSOUND_OUTPUT_WINMM;
int driverIndex = 0;
char lastError[160] = "";
// The last choice that found no device, and when: a host that initialises
// the plug-in again at once does not try the same outputs again at once.
char failedChoice[64] = "";
DWORD failedAt = 0;

// Guarded by controlLock.
HANDLE engineThread = nullptr;
int engineRate = 0;

// Shared with the engine's thread.
volatile LONG currentSession = 0; // 0 while no engine runs
volatile LONG quitSession = 0;    // the engine of this session is asked to end
volatile LONG attemptsAsked = 0;
volatile LONG attemptsDone = 0;
volatile LONG deviceUp = 0;
volatile LONG deviceSilent = 0; // the device that plays is the silent one
volatile DWORD lastAttempt = 0;
volatile DWORD lastCallback = 0; // of the device that plays now

void InitOnce() {
    InitializeCriticalSection(&controlLock);
    InitializeCriticalSection(&choiceLock);
}

void EnsureInit() {
    SbRunOnce(&onceState, InitOnce);
}

LONG Read(volatile LONG* v) {
    return InterlockedCompareExchange(v, 0, 0);
}

void SetError(const char* text) {
    EnterCriticalSection(&choiceLock);
    std::snprintf(lastError, sizeof lastError, "%s", text);
    LeaveCriticalSection(&choiceLock);
}

// What was tried, in a few characters: the outputs in order and the driver.
void Describe(const Choice& choice, char* text, size_t size) {
    std::snprintf(text, size, "%d:%d,%d,%d:%d", static_cast<int>(choice.kind),
                  static_cast<int>(choice.backends[0]), static_cast<int>(choice.backends[1]),
                  static_cast<int>(choice.backends[2]), choice.driverIndex);
}

// SONABELL_AUDIO_OUTPUT: "silent", "capture:<WAV path>", "wasapi", "dsound"
// or "winmm". False when unset or not one of these.
bool ReadOverride(Choice& choice) {
    char small[1];
    DWORD need = GetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", small, 0);
    if (need == 0)
        return false;
    std::vector<char> value(need + 1, '\0');
    if (GetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", value.data(), need + 1) >= need + 1)
        return false;
    const char* v = value.data();
    struct {
        const char* name;
        ma_backend backend;
    } const only[] = {
        {"wasapi", ma_backend_wasapi}, {"dsound", ma_backend_dsound}, {"winmm", ma_backend_winmm}};
    for (const auto& o : only) {
        if (std::strcmp(v, o.name) == 0) {
            choice.kind = kSystem;
            choice.backends[0] = o.backend;
            choice.backendCount = 1;
            return true;
        }
    }
    if (std::strcmp(v, "silent") == 0) {
        choice.kind = kSilent;
        return true;
    }
    if (std::strncmp(v, "capture:", 8) == 0 && v[8] != '\0') {
        choice.kind = kCapture;
        choice.capturePath.assign(v + 8, v + std::strlen(v) + 1);
        return true;
    }
    return false; // unknown values are ignored rather than guessed at
}

// Output 0 is silent; 1 tries the system's outputs from the newest to the
// oldest, 2 puts DirectSound first.
Choice CurrentChoice() {
    Choice choice;
    EnterCriticalSection(&choiceLock);
    int type = outputType;
    choice.driverIndex = driverIndex;
    LeaveCriticalSection(&choiceLock);
    if (ReadOverride(choice)) {
        choice.driverIndex = 0;
    } else if (type == FSOUND_OUTPUT_NOSOUND) {
        choice.kind = kSilent;
    } else {
        bool dsoundFirst = type == FSOUND_OUTPUT_DSOUND;
        choice.backends[0] = dsoundFirst ? ma_backend_dsound : ma_backend_wasapi;
        choice.backends[1] = dsoundFirst ? ma_backend_wasapi : ma_backend_dsound;
        choice.backends[2] = ma_backend_winmm;
        choice.backendCount = 3;
    }
    if (choice.kind != kSystem) {
        choice.backends[0] = ma_backend_null;
        choice.backendCount = 1;
    }
    return choice;
}

// What a device plays: the mixer's frames, written to the capture file too
// when there is one. Every call is a sign of life.
void Render(Output* out, float* frames, size_t frameCount) {
    SbMixerRender(out, frames, frameCount);
    if (out->capture)
        SbCaptureWrite(out->capture, frames, frameCount);
    DWORD now = GetTickCount();
    out->lastCallback = now;
    if (!Read(&out->retired))
        lastCallback = now;
}

void DataCallback(ma_device* device, void* output, const void*, ma_uint32 frameCount) {
    Render(static_cast<Output*>(device->pUserData), static_cast<float*>(output), frameCount);
}

void RenderForDs(void* user, float* frames, size_t frameCount) {
    Render(static_cast<Output*>(user), frames, frameCount);
}

void Notification(const ma_device_notification* note) {
    auto* out = static_cast<Output*>(note->pDevice->pUserData);
    if (note->type == ma_device_notification_type_stopped && !Read(&out->shuttingDown)) {
        InterlockedExchange(&out->stoppedByItself, 1);
        SetEvent(SbMixerWakeEvent());
    }
}

// The device's periods: short enough that a sound starts within a period or
// two, long enough that a busy machine keeps up (40 ms queued for WASAPI).
// WinMM's shortest period in the library is 40 ms; two of them keep its
// queue short. The callback may
// take what the device asks for as it comes, rather than through a buffer
// of the library's own that would add a period.
void ConfigureLatency(ma_backend backend, ma_device_config& config) {
    config.performanceProfile = ma_performance_profile_low_latency;
    config.noFixedSizedCallback = MA_TRUE;
    switch (backend) {
    case ma_backend_wasapi:
        config.periodSizeInMilliseconds = 10;
        config.periods = 4;
        // The system's audio thread scheduling, where it has one.
        config.wasapi.usage = ma_wasapi_usage_games;
        break;
    case ma_backend_winmm:
        config.periodSizeInMilliseconds = 40;
        config.periods = 2;
        break;
    default: // the silent device
        config.periodSizeInMilliseconds = 10;
        break;
    }
}

void Free(Output* out) {
    SbDsClose(out->ds);
    SbWmClose(out->wm);
    if (out->deviceReady)
        ma_device_uninit(&out->device);
    if (out->contextReady)
        ma_context_uninit(&out->context);
    SbCaptureClose(out->capture);
    delete out;
}

// One of the library's backends, its device opened and started, or false
// with the reason kept.
bool OpenWithLibrary(Output* out, ma_backend backend, const Choice& choice, int mixRate,
                     bool* sawDevice) {
    ma_context_config contextConfig = ma_context_config_init();
    if (ma_context_init(&backend, 1, &contextConfig, &out->context) != MA_SUCCESS) {
        SetError("No sound output is available on this computer.");
        return false;
    }
    out->contextReady = true;
    ma_device_config config = ma_device_config_init(ma_device_type_playback);
    config.playback.format = ma_format_f32;
    config.playback.channels = 2;
    config.sampleRate = static_cast<ma_uint32>(mixRate);
    config.dataCallback = DataCallback;
    config.notificationCallback = Notification;
    config.pUserData = out;
    config.noPreSilencedOutputBuffer = MA_TRUE; // the mixer writes every frame
    ConfigureLatency(backend, config);
    ma_device_id chosen;
    if (choice.kind == kSystem) {
        // No output device at all: fail here. Attempting a device init anyway
        // costs a handle per attempt inside the system's audio stack.
        ma_device_info* infos = nullptr;
        ma_uint32 count = 0;
        if (ma_context_get_devices(&out->context, &infos, &count, nullptr, nullptr) != MA_SUCCESS ||
            count == 0)
            return false;
        *sawDevice = true;
        // Driver n is the n-th device of the output; 0 (or one that does not
        // exist) the system's default.
        if (choice.driverIndex > 0 && static_cast<ma_uint32>(choice.driverIndex) < count) {
            chosen = infos[choice.driverIndex].id;
            config.playback.pDeviceID = &chosen;
        }
    }
    if (ma_device_init(&out->context, &config, &out->device) != MA_SUCCESS) {
        SetError("The sound output device could not be opened.");
        return false;
    }
    out->deviceReady = true;
    if (choice.kind == kCapture) {
        out->capture = SbCaptureOpen(choice.capturePath.data(), out->device.sampleRate);
        if (!out->capture) {
            SetError("The capture file could not be created.");
            return false;
        }
    }
    out->lastCallback = GetTickCount();
    if (!SbMixerAttach(out, out->session))
        return false; // this session ended meanwhile
    if (ma_device_start(&out->device) != MA_SUCCESS) {
        SbMixerDetach(out);
        SetError("The sound output device could not be started.");
        return false;
    }
    return true;
}

// DirectSound or WinMM, both outputs of the engine's own.
bool OpenOwnOutput(Output* out, ma_backend backend, const Choice& choice, int mixRate) {
    out->lastCallback = GetTickCount();
    if (!SbMixerAttach(out, out->session))
        return false;
    char error[160];
    auto rate = static_cast<unsigned>(mixRate);
    if (backend == ma_backend_dsound)
        out->ds = SbDsOpen(choice.driverIndex, rate, RenderForDs, out, error, sizeof error);
    else
        out->wm = SbWmOpen(choice.driverIndex, rate, RenderForDs, out, error, sizeof error);
    if (!out->ds && !out->wm) {
        SbMixerDetach(out);
        SetError(error);
        return false;
    }
    return true;
}

// Wine's winmm.dll leaves a dozen handles behind every time it is unloaded,
// and the library loads and unloads it with each WinMM context: a host that
// initialises the plug-in again and again on a machine without sound would
// collect them. Loaded once and kept, it is unloaded never.
void KeepWinmmLoaded() {
    static volatile LONG once = 0;
    SbRunOnce(&once, [] {
        HMODULE winmm = LoadLibraryA("winmm.dll");
        HMODULE pinned;
        if (winmm)
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "winmm.dll", &pinned);
    });
}

// Opens and starts a device as chosen, on the engine's thread: the outputs
// in the order chosen, the first that plays. Null, with the reason kept for
// people, when none does.
Output* Open(unsigned session, int mixRate) {
    Choice choice = CurrentChoice();
    bool sawDevice = choice.kind != kSystem;
    for (ma_uint32 i = 0; i < choice.backendCount; ++i) {
        auto* out = new (std::nothrow) Output;
        if (!out) {
            SetError("The sound output could not be started: out of memory.");
            return nullptr;
        }
        out->session = session;
        out->silent = choice.kind != kSystem;
        if (choice.backends[i] == ma_backend_winmm)
            KeepWinmmLoaded();
        bool own =
            choice.backends[i] == ma_backend_dsound || choice.backends[i] == ma_backend_winmm;
        bool ok = own ? (sawDevice = true, OpenOwnOutput(out, choice.backends[i], choice, mixRate))
                      : OpenWithLibrary(out, choice.backends[i], choice, mixRate, &sawDevice);
        if (ok) {
            lastCallback = GetTickCount();
            SetError("");
            EnterCriticalSection(&choiceLock);
            failedChoice[0] = '\0';
            LeaveCriticalSection(&choiceLock);
            return out;
        }
        SbMixerDetach(out);
        Free(out);
    }
    if (!sawDevice)
        SetError("No sound output device was found.");
    if (choice.kind == kSystem) {
        EnterCriticalSection(&choiceLock);
        Describe(choice, failedChoice, sizeof failedChoice);
        failedAt = GetTickCount();
        LeaveCriticalSection(&choiceLock);
    }
    return nullptr;
}

HMODULE HoldOwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&HoldOwnModule), &module);
    return module;
}

// Shuts a retired device down. Holds a reference to this module, so code of
// ours that a device thread may still run stays loaded even if the host
// unloads the plug-in meanwhile; a device that never stops keeps this thread
// waiting forever, harmlessly.
DWORD WINAPI ShutdownMain(void* param) {
    auto* out = static_cast<Output*>(param);
    HMODULE module = HoldOwnModule();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    InterlockedExchange(&out->shuttingDown, 1);
    if (out->deviceReady)
        ma_device_uninit(&out->device);
    out->deviceReady = false;
    SbDsClose(out->ds);
    out->ds = nullptr;
    SbWmClose(out->wm);
    out->wm = nullptr;
    SetEvent(out->uninitDone);
    WaitForSingleObject(out->helperGone, INFINITE);
    if (out->heldEvent)
        CloseHandle(out->heldEvent);
    CloseHandle(out->uninitDone);
    CloseHandle(out->helperGone);
    Free(out);
    CoUninitialize();
    FreeLibraryAndExitThread(module, 0);
}

// Takes a device out of use and shuts it down, waiting about kShutdownHelpMs
// at most.
//
// A WinMM device that died (its sound server gone, its sink removed) never
// returns from the library's shutdown: it waits for the last queued buffers
// to drain, and a dead device never plays them. The drain is helped along by
// setting the device's "buffer done" event.
void Retire(Output* out) {
    InterlockedExchange(&out->retired, 1);
    SbMixerDetach(out);
    if (!out->deviceReady && !out->ds && !out->wm) {
        Free(out);
        return;
    }
    if (out->deviceReady && out->context.backend == ma_backend_winmm &&
        out->device.winmm.hEventPlayback) {
        // A handle of our own: the library closes its one while we may still
        // be setting it.
        DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(out->device.winmm.hEventPlayback),
                        GetCurrentProcess(), &out->heldEvent, 0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    out->uninitDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    out->helperGone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE shutdown = out->uninitDone && out->helperGone
                          ? CreateThread(nullptr, 0, ShutdownMain, out, 0, nullptr)
                          : nullptr;
    if (!shutdown)
        return; // no thread to spare: left as it is rather than risk a wait without end
    DWORD start = GetTickCount();
    bool stopped = false;
    while (!(stopped = WaitForSingleObject(out->uninitDone, 5) == WAIT_OBJECT_0) &&
           GetTickCount() - start < kShutdownHelpMs) {
        if (out->heldEvent)
            SetEvent(out->heldEvent);
    }
    SetEvent(out->helperGone); // out belongs to the shutdown thread from here
    // The rest of the shutdown is quick once the device has stopped; waiting
    // for it means that a plug-in unloaded and loaded again is a fresh copy.
    if (stopped) {
        DWORD spent = GetTickCount() - start;
        WaitForSingleObject(shutdown, spent < kShutdownHelpMs ? kShutdownHelpMs - spent : 0);
    }
    CloseHandle(shutdown);
}

bool Healthy(Output* out) {
    // The silent device cannot be lost, and reopening it would start its
    // capture file over: a machine too busy to call it back is only busy.
    if (out->silent)
        return true;
    return !Read(&out->stoppedByItself) && !(out->ds && SbDsFailed(out->ds)) &&
           !(out->wm && SbWmFailed(out->wm)) && GetTickCount() - out->lastCallback < kLostAfterMs;
}

struct EngineStart {
    unsigned session;
    int rate;
    LONG asked; // the attempts asked for before this engine started
};

DWORD WINAPI EngineMain(void* param) {
    EngineStart start = *static_cast<EngineStart*>(param);
    delete static_cast<EngineStart*>(param);
    HMODULE module = HoldOwnModule();
    // The engine's own apartment: the library's own COM initialisation then
    // finds it ready and never touches anyone else's thread.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    HANDLE wake = SbMixerWakeEvent();
    auto mine = [&] { return static_cast<unsigned>(Read(&currentSession)) == start.session; };
    Output* out = nullptr;
    LONG handled = start.asked;
    // Without a device (a start that did not even try, the same outputs
    // having found none a moment ago), the first retry comes soon.
    DWORD retryDelay = kFirstRetryMs; // 0: no retry planned
    DWORD retryFrom = GetTickCount();
    while (static_cast<unsigned>(Read(&quitSession)) != start.session) {
        LONG asked = Read(&attemptsAsked);
        bool retryDue = !out && retryDelay && GetTickCount() - retryFrom >= retryDelay;
        if (out && !Healthy(out)) {
            Retire(out);
            out = nullptr;
            if (mine()) {
                InterlockedExchange(&deviceUp, 0);
                SbMixerDropHeard();
            }
            retryDelay = 1; // at once
            retryFrom = GetTickCount();
            continue;
        }
        if (asked != handled || retryDue) {
            if (!out) {
                out = Open(start.session, start.rate);
                if (mine()) {
                    InterlockedExchange(reinterpret_cast<volatile LONG*>(&lastAttempt),
                                        static_cast<LONG>(GetTickCount()));
                    InterlockedExchange(&deviceUp, out ? 1 : 0);
                    InterlockedExchange(&deviceSilent, out && out->silent ? 1 : 0);
                }
                retryDelay = out                            ? 0
                             : retryDelay < kFirstRetryMs   ? kFirstRetryMs
                             : retryDelay * 2 < kMaxRetryMs ? retryDelay * 2
                                                            : kMaxRetryMs;
                retryFrom = GetTickCount();
            }
            handled = asked;
            if (mine())
                InterlockedExchange(&attemptsDone, asked);
        }
        SbMixerDecodeAhead();
        DWORD timeout = 250;
        if (!out && retryDelay) {
            DWORD waited = GetTickCount() - retryFrom;
            timeout = waited >= retryDelay ? 0 : retryDelay - waited;
            if (timeout > 250)
                timeout = 250;
        }
        if (static_cast<unsigned>(Read(&quitSession)) == start.session)
            break;
        WaitForSingleObject(wake, timeout);
    }
    if (out)
        Retire(out);
    CoUninitialize();
    FreeLibraryAndExitThread(module, 0);
}

// Asks the engine's thread for a device and waits up to waitMs for the
// answer. Under controlLock.
bool AskForDevice(DWORD waitMs) {
    LONG ticket = InterlockedIncrement(&attemptsAsked);
    SetEvent(SbMixerWakeEvent());
    DWORD start = GetTickCount();
    while (Read(&attemptsDone) - ticket < 0) {
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(2);
    }
    return Read(&deviceUp) != 0;
}

} // namespace

void SbOutputSetType(int type) {
    EnsureInit();
    EnterCriticalSection(&choiceLock);
    outputType = type;
    LeaveCriticalSection(&choiceLock);
}

void SbOutputSetDriver(int driver) {
    EnsureInit();
    EnterCriticalSection(&choiceLock);
    driverIndex = driver;
    LeaveCriticalSection(&choiceLock);
}

// True when the outputs chosen now found no device a moment ago.
bool FailedJustNow() {
    char now[64];
    Describe(CurrentChoice(), now, sizeof now);
    EnterCriticalSection(&choiceLock);
    bool failed =
        std::strcmp(now, failedChoice) == 0 && GetTickCount() - failedAt < kSoundRetryGapMs;
    LeaveCriticalSection(&choiceLock);
    return failed;
}

bool SbOutputStart(int mixRate) {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool up;
    if (engineThread) {
        // Running: the device it has stays. Without one, the choice may have
        // changed since, so it tries again now.
        up = Read(&deviceUp) != 0 || (!FailedJustNow() && AskForDevice(kStartWaitMs));
    } else {
        static volatile LONG sessions = 0;
        unsigned session = static_cast<unsigned>(InterlockedIncrement(&sessions));
        if (session == 0)
            session = static_cast<unsigned>(InterlockedIncrement(&sessions));
        engineRate = mixRate >= 8000 && mixRate <= 192000 ? mixRate : 44100;
        SbMixerStart(static_cast<unsigned>(engineRate), session);
        InterlockedExchange(&deviceUp, 0);
        InterlockedExchange(&attemptsDone, Read(&attemptsAsked));
        InterlockedExchange(&currentSession, static_cast<LONG>(session));
        auto* start = new (std::nothrow) EngineStart{session, engineRate, Read(&attemptsAsked)};
        engineThread = start ? CreateThread(nullptr, 0, EngineMain, start, 0, nullptr) : nullptr;
        if (!engineThread) {
            delete start;
            InterlockedExchange(&currentSession, 0);
            SbMixerStop();
            SetError("The sound output could not be started: no thread.");
            up = false;
        } else {
            up = !FailedJustNow() && AskForDevice(kStartWaitMs);
        }
    }
    LeaveCriticalSection(&controlLock);
    return up;
}

bool SbOutputRunning() {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool running = engineThread != nullptr;
    LeaveCriticalSection(&controlLock);
    return running;
}

void SbOutputStop() {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    if (engineThread) {
        // A sound cut off mid-wave clicks: it fades out over a period first
        // (a dead device never renders it, hence the bound).
        if (Read(&deviceUp))
            SbMixerFadeOut(kFadeWaitMs);
        LONG session = Read(&currentSession);
        InterlockedExchange(&currentSession, 0);
        InterlockedExchange(&deviceUp, 0);
        SbMixerStop();
        InterlockedExchange(&quitSession, session);
        SetEvent(SbMixerWakeEvent());
        // A thread still busy with a device that will not stop is left to
        // finish on its own: it keeps this module loaded until it does.
        WaitForSingleObject(engineThread, kStopWaitMs);
        CloseHandle(engineThread);
        engineThread = nullptr;
    }
    LeaveCriticalSection(&controlLock);
}

bool SbOutputEnsure() {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool up = false;
    if (!engineThread) {
        up = false;
    } else if (Read(&deviceUp) && Read(&deviceSilent)) {
        up = true;
    } else if (Read(&deviceUp)) {
        DWORD seen = lastCallback;
        up = GetTickCount() - seen < kQuietMs;
        // Quiet for a while: wait for a period to go by before calling the
        // device lost, then have it opened again.
        for (DWORD start = GetTickCount(); !up && GetTickCount() - start < kLostAfterMs + 50;) {
            Sleep(5);
            up = lastCallback != seen;
        }
        if (!up)
            up = AskForDevice(kEnsureWaitMs);
    } else if (GetTickCount() - lastAttempt >= kSoundRetryGapMs) {
        up = AskForDevice(kEnsureWaitMs);
    }
    LeaveCriticalSection(&controlLock);
    return up;
}

void SbOutputLastError(char* text, size_t size) {
    EnsureInit();
    if (!text || size == 0)
        return;
    EnterCriticalSection(&choiceLock);
    std::snprintf(text, size, "%s", lastError);
    LeaveCriticalSection(&choiceLock);
}
