// What the engine's own outputs (DirectSound, WinMM) share: the thread that
// feeds the device, and how the engine speaks to it. The thread alone
// touches the device from the open to the close; a pause or the close is
// only asked for, and the thread answers between two passes.
#ifndef SONABELL_AUDIO_ENGINE_FEEDER_H
#define SONABELL_AUDIO_ENGINE_FEEDER_H

#include <windows.h>

#include <cstdio>

struct SbFeeder {
    HANDLE thread = nullptr;
    HANDLE quit = nullptr;    // manual reset: the output closes
    HANDLE control = nullptr; // a pause or resume was asked for
    volatile LONG wantPaused = 0;
    volatile LONG failed = 0; // set by the thread as it gives up on the device
};

inline void SbPutError(char* error, size_t size, const char* text) {
    if (error && size)
        std::snprintf(error, size, "%s", text);
}

// The two events; false when either could not be made.
inline bool SbFeederEvents(SbFeeder& f) {
    f.quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    f.control = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return f.quit && f.control;
}

inline void SbFeederCloseEvents(SbFeeder& f) {
    HANDLE handles[] = {f.quit, f.control};
    for (HANDLE h : handles)
        if (h)
            CloseHandle(h);
}

inline bool SbFeederStart(SbFeeder& f, LPTHREAD_START_ROUTINE feed, void* output, char* error,
                          size_t errorSize) {
    f.thread = CreateThread(nullptr, 0, feed, output, 0, nullptr);
    if (!f.thread)
        SbPutError(error, errorSize, "The sound output could not be started: no thread.");
    return f.thread != nullptr;
}

inline bool SbFeederFailed(SbFeeder& f) {
    return InterlockedCompareExchange(&f.failed, 0, 0) != 0;
}

inline bool SbFeederWantsPause(SbFeeder& f) {
    return InterlockedCompareExchange(&f.wantPaused, 0, 0) != 0;
}

inline void SbFeederPause(SbFeeder& f, bool paused) {
    InterlockedExchange(&f.wantPaused, paused ? 1 : 0);
    SetEvent(f.control);
}

// Asks the thread to end and waits for it: it may be inside the driver.
inline void SbFeederStop(SbFeeder& f) {
    SetEvent(f.quit);
    WaitForSingleObject(f.thread, INFINITE);
    CloseHandle(f.thread);
}

#endif
