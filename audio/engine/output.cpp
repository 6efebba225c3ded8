#include "audio/engine/output.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <new>

#include "audio/engine/capture_wav.h"
#include "audio/engine/endpoint_watch.h"
#include "audio/engine/mixer.h"
#include "audio/engine/module_thread.h"
#include "audio/engine/output_choice.h"
#include "audio/engine/run_once.h"

namespace {

// A device that has not called back for this long is lost (the longest
// period of any output is 40 ms, so even a busy machine calls back sooner).
constexpr DWORD kLostAfterMs = 500;
// A device opened (or restarted) that has not called back within this long
// did not start: a failed attempt.
constexpr DWORD kFirstCallMs = 500;
// Retries while no device opens: at once after a device that had been heard
// is lost, then from kFirstRetryMs doubling to kMaxRetryMs.
constexpr DWORD kFirstRetryMs = 250;
constexpr DWORD kMaxRetryMs = 30000;
// A sound may ask for an attempt of its own this long after the last one.
constexpr DWORD kSoundRetryGapMs = 500;
// The stream stops this long after the last sound ended.
constexpr DWORD kIdleAfterMs = 10000;
// How often the thread looks at a running device.
constexpr DWORD kWatchMs = 100;
// How long a shutdown is helped and waited for before it is left to itself.
constexpr DWORD kShutdownHelpMs = 450;
// How long a session's end waits to shut a parked device down in turn.
constexpr DWORD kParkedWaitMs = 5000;
// FSOUND_Init's wait for a device, within its 500 ms.
constexpr DWORD kStartWaitMs = 450;
// How long FSOUND_Close waits for the engine's thread, and before that for
// the sound heard to fade out (two of the longest periods).
constexpr DWORD kStopWaitMs = 800;
constexpr DWORD kFadeWaitMs = 90;

enum State { kClosed, kOpening, kRunning, kIdle, kLost, kRetryWait };

// One session's engine. Held by the session (until the stop), by its thread
// and by every device it opened; the last to let go deletes it, so a thread
// abandoned in a driver keeps its own events and never shares a later
// session's.
struct Engine {
    volatile LONG refs = 1;
    unsigned session = 0;
    unsigned rate = 0;
    HANDLE quit = nullptr;    // manual reset: the session ended
    HANDLE wake = nullptr;    // requests, notifications, the ring running low
    HANDLE changed = nullptr; // the state changed: for the caller waiting
    HANDLE mixed = nullptr;   // a sound started reached a device
    CRITICAL_SECTION lock;
    // Guarded by lock.
    State state = kClosed;
    LONG attempts = 0; // attempts started (opening, or restarting the stream)
    bool wantDevice = false;
    bool forceAttempt = false;
    DWORD lastAttemptAt = 0;
    SbChoice lastChoice;
    // Set by any thread, read by the engine's.
    volatile LONG defaultChanged = 0;
    volatile LONG devicesChanged = 0;
};

// One opened output. Its callback runs on the output's thread; everything
// else about it on the engine's thread until it is retired, then on its
// shutdown thread.
struct Device {
    const SbOutputOps* ops = nullptr;
    void* output = nullptr;
    Engine* engine = nullptr;
    SbCapture* capture = nullptr;
    bool silent = false; // nothing to lose: never taken for lost
    bool paused = false;
    HANDLE called = nullptr; // manual reset: the first callback came
    volatile LONG calls = 0;
    volatile DWORD lastCallback = 0;
    long mixedAtStart = 0; // the mixer's count of sounds heard when it came up
};

// A device being shut down: owned by its shutdown thread and by the engine
// thread that helps it, the last of them frees it.
struct Shutdown {
    volatile LONG refs = 2;
    volatile LONG abandoned = 0; // 1 once its wait ran out, 2 once it ended
    Device* device = nullptr;
    HANDLE held = nullptr; // the output's stuck event, set to help a close
};

volatile LONG onceState = 0;
CRITICAL_SECTION controlLock; // the callers' side: start, stop, ensure
CRITICAL_SECTION currentLock; // `current`, briefly

// Guarded by controlLock.
Engine* engine = nullptr;
HANDLE engineThread = nullptr;
unsigned lastSession = 0;

// Guarded by currentLock: the session's engine, for notifications.
Engine* current = nullptr;

volatile LONG wakeups = 0;
volatile LONG stuckShutdowns = 0;
// One shutdown at a time in the whole process: 1 while a shutdown thread
// runs. So at most one device is ever left stuck in a driver.
volatile LONG shutdownSlot = 0;

void InitOnce() {
    InitializeCriticalSection(&controlLock);
    InitializeCriticalSection(&currentLock);
}

void EnsureInit() {
    SbRunOnce(&onceState, InitOnce);
}

void Release(Engine* e) {
    if (InterlockedDecrement(&e->refs) != 0)
        return;
    CloseHandle(e->quit);
    CloseHandle(e->wake);
    CloseHandle(e->changed);
    CloseHandle(e->mixed);
    DeleteCriticalSection(&e->lock);
    delete e;
}

Engine* NewEngine(unsigned session, unsigned rate) {
    auto* e = new (std::nothrow) Engine;
    if (!e)
        return nullptr;
    e->session = session;
    e->rate = rate;
    e->quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    e->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    e->changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    e->mixed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    InitializeCriticalSection(&e->lock);
    if (!e->quit || !e->wake || !e->changed || !e->mixed) {
        Release(e);
        return nullptr;
    }
    return e;
}

void SetState(Engine* e, State state) {
    EnterCriticalSection(&e->lock);
    e->state = state;
    LeaveCriticalSection(&e->lock);
    SetEvent(e->changed);
}

State StateOf(Engine* e) {
    EnterCriticalSection(&e->lock);
    State state = e->state;
    LeaveCriticalSection(&e->lock);
    return state;
}

// What a device plays: the mixer's frames, written to the capture file too
// when there is one. Every call is a sign of life.
void Render(void* user, float* frames, size_t frameCount) {
    auto* d = static_cast<Device*>(user);
    SbMixerRender(d, frames, frameCount);
    if (d->capture)
        SbCaptureWrite(d->capture, frames, frameCount);
    d->lastCallback = GetTickCount();
    if (InterlockedIncrement(&d->calls) == 1)
        SetEvent(d->called);
}

void FreeDevice(Device* d) {
    SbCaptureClose(d->capture);
    if (d->called)
        CloseHandle(d->called);
    Release(d->engine);
    delete d;
}

DWORD WINAPI ShutdownMain(void* param) {
    auto* s = static_cast<Shutdown*>(param);
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Device* d = s->device;
    d->ops->close(d->output);
    FreeDevice(d);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (InterlockedExchange(&s->abandoned, 2) == 1)
        InterlockedDecrement(&stuckShutdowns);
    InterlockedExchange(&shutdownSlot, 0);
    if (InterlockedDecrement(&s->refs) == 0) {
        if (s->held)
            CloseHandle(s->held);
        delete s;
    }
    SbEndModuleThread();
    return 0;
}

// The engine thread's own view of its session.
struct Run {
    Engine* e = nullptr;
    Device* device = nullptr; // the one attached to the mixer
    Device* parked[4] = {};   // waiting, silent, for the shutdown slot
    int parkedCount = 0;
    HANDLE stuck = nullptr; // that shutdown's thread
    Shutdown* stuckRecord = nullptr;
    int failures = 0; // attempts failed (or devices lost unheard) since a sound was heard
    DWORD retryAt = 0;
    DWORD lastActivity = 0; // a sound heard or asked for
    bool watching = false;
    bool notifiedEarly = false;
    bool notifiedRetry = false;
    SbEndpointWatch* watch = nullptr;
};

void LetGoOfStuck(Run& r) {
    CloseHandle(r.stuck);
    r.stuck = nullptr;
    if (InterlockedDecrement(&r.stuckRecord->refs) == 0) {
        if (r.stuckRecord->held)
            CloseHandle(r.stuckRecord->held);
        delete r.stuckRecord;
    }
    r.stuckRecord = nullptr;
}

// Takes a device out of use and shuts it down on a thread of its own,
// helping and waiting kShutdownHelpMs at most. A device to retire while
// another shutdown runs (in any session) is parked, silent, until it ends.
void Retire(Run& r, Device* d) {
    SbMixerDetach(d);
    if (InterlockedCompareExchange(&shutdownSlot, 1, 0) != 0) {
        if (r.parkedCount < 4) {
            r.parked[r.parkedCount++] = d;
            return;
        }
        while (InterlockedCompareExchange(&shutdownSlot, 1, 0) != 0) // never in practice
            Sleep(50);
    }
    auto* s = new (std::nothrow) Shutdown;
    HANDLE thread = nullptr;
    if (s) {
        s->device = d;
        s->held = d->ops->stuckEvent ? d->ops->stuckEvent(d->output) : nullptr;
        thread = SbStartModuleThread(ShutdownMain, s);
    }
    if (!thread) {
        // No thread to spare: left as it is rather than risk a wait without end.
        InterlockedExchange(&shutdownSlot, 0);
        if (s && s->held)
            CloseHandle(s->held);
        delete s;
        return;
    }
    DWORD start = GetTickCount();
    DWORD spent = 0;
    while (WaitForSingleObject(thread, s->held ? 5 : kShutdownHelpMs - spent) == WAIT_TIMEOUT &&
           (spent = GetTickCount() - start) < kShutdownHelpMs) {
        if (s->held)
            SetEvent(s->held);
    }
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
        CloseHandle(thread);
        if (InterlockedDecrement(&s->refs) == 0) {
            if (s->held)
                CloseHandle(s->held);
            delete s;
        }
        return;
    }
    InterlockedIncrement(&stuckShutdowns);
    if (InterlockedCompareExchange(&s->abandoned, 1, 0) != 0)
        InterlockedDecrement(&stuckShutdowns); // it ended after all
    if (r.stuck) // a second one while the first still runs: it shares nothing
        LetGoOfStuck(r);
    r.stuck = thread;
    r.stuckRecord = s;
}

// A shutdown that outlasted its wait: helped along, and let go of once done.
void TendStuck(Run& r) {
    if (r.stuck && WaitForSingleObject(r.stuck, 0) == WAIT_TIMEOUT) {
        if (r.stuckRecord->held)
            SetEvent(r.stuckRecord->held);
        return;
    }
    if (r.stuck)
        LetGoOfStuck(r);
    while (r.parkedCount > 0 && InterlockedCompareExchange(&shutdownSlot, 0, 0) == 0) {
        Device* d = r.parked[--r.parkedCount];
        Retire(r, d);
    }
}

bool Healthy(const Device* d) {
    // The silent device cannot be lost, and reopening it would start its
    // capture file over: a machine too busy to call it back is only busy.
    if (d->silent || d->paused)
        return true;
    return !d->ops->failed(d->output) && GetTickCount() - d->lastCallback < kLostAfterMs;
}

// Waits for a device's first callback: true when it came, false when the
// device stayed silent (or the session ended).
bool CalledBack(Run& r, Device* d) {
    HANDLE events[2] = {d->called, r.e->quit};
    return WaitForMultipleObjects(2, events, FALSE, kFirstCallMs) == WAIT_OBJECT_0 &&
           !d->ops->failed(d->output);
}

DWORD RetryDelay(int failures) {
    if (failures <= 0)
        return 0;
    DWORD delay = kFirstRetryMs;
    for (int i = 1; i < failures && delay < kMaxRetryMs; ++i)
        delay *= 2;
    return delay < kMaxRetryMs ? delay : kMaxRetryMs;
}

// A device that plays meanwhile (the sound moving to a new default device)
// keeps the state running: callers go on using it.
void BeginAttempt(Engine* e, const SbChoice& choice, bool moving = false) {
    EnterCriticalSection(&e->lock);
    if (!moving) {
        e->state = kOpening;
        ++e->attempts;
    }
    e->lastAttemptAt = GetTickCount();
    e->lastChoice = choice;
    LeaveCriticalSection(&e->lock);
    SetEvent(e->changed);
}

// Opens the outputs chosen now, in order, until one calls back; it replaces
// the device that plays (the ring goes on where it was, so a sound moves
// with it). True when one did.
bool Attempt(Run& r) {
    Engine* e = r.e;
    SbChoice choice = SbChoiceNow();
    BeginAttempt(e, choice, r.device != nullptr);
    char error[160] = "No sound output device was found.";
    Device* up = nullptr;
    for (int i = 0; i < choice.count && !up; ++i) {
        if (WaitForSingleObject(e->quit, 0) == WAIT_OBJECT_0)
            break;
        auto* d = new (std::nothrow) Device;
        if (!d)
            break;
        d->ops = choice.outputs[i];
        d->engine = e;
        InterlockedIncrement(&e->refs);
        d->silent = choice.silent;
        d->called = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (choice.capturePath[0]) {
            d->capture = SbCaptureOpen(choice.capturePath, e->rate);
            if (!d->capture) {
                std::snprintf(error, sizeof error, "%s", "The capture file could not be created.");
                FreeDevice(d);
                break;
            }
        }
        d->output = d->called
                        ? d->ops->open(choice.driverIndex, e->rate, Render, d, error, sizeof error)
                        : nullptr;
        if (!d->output) {
            FreeDevice(d);
            continue;
        }
        if (!CalledBack(r, d)) {
            std::snprintf(error, sizeof error, "%s",
                          "The sound output device did not start playing.");
            Retire(r, d);
            continue;
        }
        up = d;
    }
    if (up && !SbMixerAttach(up, e->session)) { // the session ended meanwhile
        Retire(r, up);
        up = nullptr;
    }
    if (!up && WaitForSingleObject(e->quit, 0) == WAIT_OBJECT_0) {
        SetState(e, kClosed); // not a failure: the session ended meanwhile
        return false;
    }
    if (!up) {
        SbChoiceSetError(error);
        if (!choice.silent)
            SbChoiceNoteFailed(choice);
        ++r.failures;
        r.retryAt = GetTickCount() + RetryDelay(r.failures);
        SetState(e, r.device ? kRunning : kRetryWait);
        return false;
    }
    SbChoiceSetError("");
    SbChoiceNoteFailed(SbChoice());
    up->mixedAtStart = SbMixerSoundsMixed();
    if (r.device)
        Retire(r, r.device);
    r.device = up;
    SetState(e, kRunning);
    return true;
}

// Registers for the endpoint notifications once a device that follows the
// default one plays: after the attempt has answered, as loading the system's
// device enumerator takes a while, and not on a machine without any device,
// where it would only cost the system's audio stack for nothing (a sound's
// own attempt finds a device that comes).
void Watch(Run& r) {
    if (!r.watching && r.device && SbChoiceFollowsDefault(r.e->lastChoice)) {
        r.watching = true;
        r.watch = SbEndpointWatchStart();
    }
}

// Stops the stream of a device that nothing has played on for a while: the
// device stays open where the output can pause, else it is closed.
void GoIdle(Run& r) {
    Device* d = r.device;
    if (d && d->ops->pause && GetTickCount() - d->lastCallback < kLostAfterMs &&
        d->ops->pause(d->output)) {
        d->paused = true;
    } else if (d) {
        Retire(r, d);
        r.device = nullptr;
    }
    SetState(r.e, kIdle);
}

// A sound after idle: the paused stream starts again and must call back;
// without a device (or one that will not restart) a fresh attempt.
void WakeFromIdle(Run& r) {
    Device* d = r.device;
    if (d) {
        BeginAttempt(r.e, r.e->lastChoice);
        ResetEvent(d->called);
        InterlockedExchange(&d->calls, 0);
        d->paused = false;
        d->lastCallback = GetTickCount();
        if (d->ops->resume(d->output) && CalledBack(r, d)) {
            d->mixedAtStart = SbMixerSoundsMixed();
            SetState(r.e, kRunning);
            return;
        }
        SbMixerDropHeard();
        Retire(r, d);
        r.device = nullptr;
    }
    Attempt(r);
}

void Lose(Run& r) {
    Device* d = r.device;
    r.device = nullptr;
    SetState(r.e, kLost);
    // Nothing heard on it since it came up: it stopped at once, and that is
    // a failed attempt like any other.
    if (SbMixerSoundsMixed() == d->mixedAtStart)
        ++r.failures;
    Retire(r, d);
    SbMixerDropHeard();
    r.retryAt = GetTickCount() + RetryDelay(r.failures);
    SetState(r.e, kRetryWait);
}

DWORD WINAPI EngineMain(void* param) {
    Run r;
    r.e = static_cast<Engine*>(param);
    Engine* e = r.e;
    // The engine's own apartment: the library's own COM initialisation then
    // finds it ready and never touches anyone else's thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    r.lastActivity = GetTickCount();
    // The same outputs found no device a moment ago (a host that
    // initialises the plug-in again at once): the first try comes a little
    // later.
    if (SbChoiceFailedJustNow(SbChoiceNow(), kSoundRetryGapMs)) {
        r.failures = 1;
        r.retryAt = GetTickCount() + kFirstRetryMs;
        SetState(e, kRetryWait);
    } else {
        Attempt(r);
    }
    for (;;) {
        if (WaitForSingleObject(e->quit, 0) == WAIT_OBJECT_0)
            break;
        TendStuck(r);
        DWORD now = GetTickCount();
        if (SbMixerSounding())
            r.lastActivity = now;
        if (r.device && SbMixerSoundsMixed() != r.device->mixedAtStart)
            r.failures = 0; // a sound was heard: the next loss retries at once

        EnterCriticalSection(&e->lock);
        bool asked = e->wantDevice;
        bool forced = e->forceAttempt;
        e->wantDevice = e->forceAttempt = false;
        State state = e->state;
        LeaveCriticalSection(&e->lock);
        if (asked)
            r.lastActivity = now;
        bool newDefault = InterlockedExchange(&e->defaultChanged, 0) != 0;
        bool devicesCame = InterlockedExchange(&e->devicesChanged, 0) != 0;
        // A device that came tries at once, but not again and again: listing
        // the devices can itself make some systems report a change.
        r.notifiedEarly = now - e->lastAttemptAt < kSoundRetryGapMs;
        if ((devicesCame || newDefault) && r.notifiedEarly && state == kRetryWait) {
            r.retryAt = e->lastAttemptAt + kSoundRetryGapMs;
            r.notifiedRetry = true; // due even while idle
        }
        bool canOpen = r.parkedCount == 0;

        if (r.device && state == kRunning && !Healthy(r.device)) {
            Lose(r);
            state = kRetryWait;
        }
        if (state == kIdle && (asked || forced) && canOpen) {
            WakeFromIdle(r);
        } else if (state == kRetryWait && canOpen &&
                   (asked || forced || ((devicesCame || newDefault) && !r.notifiedEarly) ||
                    ((now - r.lastActivity < kIdleAfterMs || r.notifiedRetry) &&
                     static_cast<LONG>(now - r.retryAt) >= 0))) {
            r.notifiedRetry = false;
            Attempt(r);
        } else if (newDefault && r.device && canOpen && SbChoiceFollowsDefault(e->lastChoice)) {
            // The sound moves to the new default device with the ring.
            if (state == kIdle) {
                Retire(r, r.device);
                r.device = nullptr;
            } else {
                Attempt(r);
            }
        } else if (state == kRunning && !SbMixerSounding() &&
                   now - r.lastActivity >= kIdleAfterMs) {
            GoIdle(r);
        }
        SbMixerDecodeAhead();
        Watch(r);

        state = StateOf(e);
        DWORD timeout = INFINITE;
        if (state == kRunning || state == kOpening) {
            timeout = kWatchMs;
        } else if (state == kRetryWait &&
                   (GetTickCount() - r.lastActivity < kIdleAfterMs || r.notifiedRetry)) {
            LONG left = static_cast<LONG>(r.retryAt - GetTickCount());
            timeout = left > 0 ? static_cast<DWORD>(left) : 0;
        }
        if ((r.stuck && r.stuckRecord->held) || r.parkedCount > 0)
            timeout = timeout < 50 ? timeout : 50;
        HANDLE events[3] = {e->quit, e->wake, r.stuck};
        WaitForMultipleObjects(r.stuck ? 3 : 2, events, FALSE, timeout);
        InterlockedIncrement(&wakeups);
    }
    if (r.device)
        Retire(r, r.device);
    // A parked device waits for the shutdown that is stuck, a while: this
    // thread is left to it by the stop, and holds nothing of a later session.
    for (DWORD start = GetTickCount(); r.parkedCount > 0 && GetTickCount() - start < kParkedWaitMs;
         Sleep(50))
        TendStuck(r);
    if (r.stuck)
        LetGoOfStuck(r);
    while (r.parkedCount > 0) { // the slot never came free: they go all the same
        Device* d = r.parked[--r.parkedCount];
        InterlockedExchange(&shutdownSlot, 0);
        Retire(r, d);
    }
    if (r.stuck)
        LetGoOfStuck(r);
    SbEndpointWatchStop(r.watch);
    if (SUCCEEDED(com))
        CoUninitialize();
    Release(e);
    SbEndModuleThread();
    return 0;
}

// Under controlLock. Waits for the engine's answer until boundMs after
// startTick: a device running (or restarted), or the attempt made for this
// caller failing. Asks for an attempt when none runs and none was made a
// moment ago (or always, when forced).
bool WaitForDevice(Engine* e, DWORD startTick, DWORD boundMs, bool force) {
    EnterCriticalSection(&e->lock);
    LONG asked = -1;
    bool up = false;
    for (;;) {
        State state = e->state;
        if (state == kRunning) {
            up = true;
            break;
        }
        if (state != kOpening) {
            if (asked >= 0 && e->attempts > asked && state != kIdle)
                break; // the attempt made for us failed
            if (asked < 0) {
                if (state != kIdle && !force && e->attempts > 0 &&
                    GetTickCount() - e->lastAttemptAt < kSoundRetryGapMs)
                    break;
                asked = e->attempts;
                e->wantDevice = true;
                e->forceAttempt = force;
                SetEvent(e->wake);
            }
        }
        DWORD spent = GetTickCount() - startTick;
        if (spent >= boundMs)
            break;
        LeaveCriticalSection(&e->lock);
        WaitForSingleObject(e->changed, boundMs - spent);
        EnterCriticalSection(&e->lock);
    }
    LeaveCriticalSection(&e->lock);
    return up;
}

} // namespace

bool SbOutputStart(int mixRate) {
    EnsureInit();
    DWORD startTick = GetTickCount();
    EnterCriticalSection(&controlLock);
    bool up = false;
    if (engine) {
        // Running: the device it has stays. Without one, a new choice is
        // tried now; the same choice is left to the engine's own retries, so
        // the plug-in's repeated start calls cost the host nothing.
        EnterCriticalSection(&engine->lock);
        State state = engine->state;
        bool same = SbChoiceSame(engine->lastChoice, SbChoiceNow());
        LeaveCriticalSection(&engine->lock);
        up = state == kRunning || state == kIdle ||
             (!same && WaitForDevice(engine, startTick, kStartWaitMs, true));
    } else {
        unsigned session = ++lastSession;
        if (session == 0)
            session = ++lastSession;
        unsigned rate =
            mixRate >= 8000 && mixRate <= 192000 ? static_cast<unsigned>(mixRate) : 44100u;
        Engine* e = NewEngine(session, rate);
        HANDLE thread = nullptr;
        if (e) {
            SbMixerStart(rate, session, e->wake, e->mixed);
            InterlockedIncrement(&e->refs); // the thread's
            thread = SbStartModuleThread(EngineMain, e);
            if (!thread) {
                SbMixerStop();
                Release(e);
                Release(e);
                e = nullptr;
            }
        }
        if (!thread) {
            SbChoiceSetError("The sound output could not be started: no thread.");
        } else {
            engine = e;
            engineThread = thread;
            EnterCriticalSection(&currentLock);
            current = e;
            LeaveCriticalSection(&currentLock);
            // The first attempt is the thread's own; wait for its answer.
            EnterCriticalSection(&e->lock);
            for (;;) {
                State state = e->state;
                DWORD spent = GetTickCount() - startTick;
                if (state == kRunning || state == kRetryWait || spent >= kStartWaitMs) {
                    up = state == kRunning;
                    break;
                }
                LeaveCriticalSection(&e->lock);
                WaitForSingleObject(e->changed, kStartWaitMs - spent);
                EnterCriticalSection(&e->lock);
            }
            LeaveCriticalSection(&e->lock);
        }
    }
    LeaveCriticalSection(&controlLock);
    return up;
}

bool SbOutputRunning() {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool running = engine != nullptr;
    LeaveCriticalSection(&controlLock);
    return running;
}

void SbOutputStop() {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    if (engine) {
        // A sound cut off mid-wave clicks: it fades out over a period first
        // (a dead device never renders it, hence the bound).
        if (StateOf(engine) == kRunning)
            SbMixerFadeOut(kFadeWaitMs);
        EnterCriticalSection(&currentLock);
        current = nullptr;
        LeaveCriticalSection(&currentLock);
        SbMixerStop(); // forgets the engine's events before they can go
        SetEvent(engine->quit);
        // A thread still busy with a device that will not stop is left to
        // finish on its own: it holds the engine and this module until then.
        WaitForSingleObject(engineThread, kStopWaitMs);
        CloseHandle(engineThread);
        Release(engine);
        engine = nullptr;
        engineThread = nullptr;
    }
    LeaveCriticalSection(&controlLock);
}

bool SbOutputEnsure(unsigned long startTick, unsigned long boundMs) {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool up = engine && WaitForDevice(engine, startTick, boundMs, false);
    LeaveCriticalSection(&controlLock);
    return up;
}

bool SbOutputConfirmStart(unsigned long startTick, unsigned long boundMs) {
    EnsureInit();
    EnterCriticalSection(&controlLock);
    bool heard = SbMixerStartMixed();
    while (engine && !heard) {
        DWORD spent = GetTickCount() - startTick;
        if (spent >= boundMs)
            break;
        WaitForSingleObject(engine->mixed, boundMs - spent);
        heard = SbMixerStartMixed();
    }
    if (!heard && !SbMixerWithdrawUnmixed())
        heard = true; // it reached the device at the last moment
    if (!heard && engine)
        SetEvent(engine->wake); // the device may be gone: look now
    LeaveCriticalSection(&controlLock);
    return heard;
}

void SbOutputLastError(char* text, size_t size) {
    SbChoiceLastError(text, size);
}

void SbOutputsDefaultChanged() {
    EnsureInit();
    EnterCriticalSection(&currentLock);
    if (current) {
        InterlockedExchange(&current->defaultChanged, 1);
        SetEvent(current->wake);
    }
    LeaveCriticalSection(&currentLock);
}

void SbOutputsDevicesChanged() {
    EnsureInit();
    EnterCriticalSection(&currentLock);
    if (current) {
        InterlockedExchange(&current->devicesChanged, 1);
        SetEvent(current->wake);
    }
    LeaveCriticalSection(&currentLock);
}

void SbOutputUnload() {
    if (!SbRunOnceUndo(&onceState))
        return;
    DeleteCriticalSection(&controlLock);
    DeleteCriticalSection(&currentLock);
}

long SbOutputWakeups() {
    return InterlockedCompareExchange(&wakeups, 0, 0);
}

long SbOutputStuckShutdowns() {
    return InterlockedCompareExchange(&stuckShutdowns, 0, 0);
}
