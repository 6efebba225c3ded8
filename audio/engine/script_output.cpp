#include "audio/engine/script_output.h"

#include <windows.h>

#include <cstdio>
#include <new>

#include "audio/engine/module_thread.h"
#include "audio/engine/output.h"
#include "audio/engine/output_ops.h"
#include "audio/engine/run_once.h"

namespace {

struct Device {
    SbRender render;
    void* user;
    unsigned rate;
    HANDLE quit;
    HANDLE thread;
    bool silentFromStart;      // opened during a never-calls-back fault
    volatile LONG callsLeft;   // -1: no limit
    volatile LONG reportAfter; // -1: nothing to report
    Device* next;
    // Held from the look at callsLeft to the period's time stamp, so that a
    // fault armed while a period is being rendered takes effect after it and
    // no period rendered before the fault is stamped after it.
    CRITICAL_SECTION renderLock;
};

volatile LONG onceState = 0;
CRITICAL_SECTION lock;
// Guarded by lock.
Device* devices = nullptr;
int openCount = 0;
SbScriptFault fault = kSbScriptNone;
DWORD faultUntil = 0;
int faultCallbacks = 0;
std::vector<float> consumed;
std::vector<SbScriptPeriod> periods;

void EnsureInit() {
    SbRunOnce(&onceState, [] { InitializeCriticalSection(&lock); });
}

// Under lock.
SbScriptFault ActiveFault() {
    if (fault != kSbScriptNone && static_cast<LONG>(GetTickCount() - faultUntil) >= 0)
        fault = kSbScriptNone;
    return fault;
}

// Sleeps until the armed fault of this kind has ended.
void HangWhile(SbScriptFault kind) {
    for (;;) {
        EnterCriticalSection(&lock);
        bool hang = ActiveFault() == kind;
        DWORD left = faultUntil - GetTickCount();
        LeaveCriticalSection(&lock);
        if (!hang)
            return;
        Sleep(left < 50 ? left : 50);
    }
}

// Consumes in real time: every 10 ms or so, as many frames as the clock says
// went by (a late wake-up is made up for, as a sound card's clock would).
DWORD WINAPI DeviceMain(void* param) {
    auto* d = static_cast<Device*>(param);
    const size_t most = d->rate / 20;
    std::vector<float> frames(2 * most);
    LARGE_INTEGER frequency, last, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&last);
    while (WaitForSingleObject(d->quit, 10) == WAIT_TIMEOUT) {
        QueryPerformanceCounter(&now);
        size_t due =
            static_cast<size_t>((now.QuadPart - last.QuadPart) * d->rate / frequency.QuadPart);
        if (due == 0)
            continue;
        last.QuadPart += static_cast<LONGLONG>(due) * frequency.QuadPart / d->rate;
        if (due > most)
            due = most;
        EnterCriticalSection(&d->renderLock);
        if (d->silentFromStart || InterlockedCompareExchange(&d->callsLeft, 0, 0) == 0) {
            LeaveCriticalSection(&d->renderLock);
            continue;
        }
        if (InterlockedCompareExchange(&d->reportAfter, 0, 0) == 0) {
            InterlockedExchange(&d->reportAfter, -1);
            InterlockedExchange(&d->callsLeft, 0);
            LeaveCriticalSection(&d->renderLock);
            SbOutputsDefaultChanged();
            continue;
        }
        if (InterlockedCompareExchange(&d->callsLeft, 0, 0) > 0)
            InterlockedDecrement(&d->callsLeft);
        if (InterlockedCompareExchange(&d->reportAfter, 0, 0) > 0)
            InterlockedDecrement(&d->reportAfter);
        d->render(d->user, frames.data(), due);
        DWORD tick = GetTickCount();
        LeaveCriticalSection(&d->renderLock);
        EnterCriticalSection(&lock);
        periods.push_back({tick, consumed.size() / 2, due});
        consumed.insert(consumed.end(), frames.begin(), frames.begin() + 2 * due);
        LeaveCriticalSection(&lock);
    }
    SbEndModuleThread();
    return 0;
}

void* Open(int, unsigned rate, SbRender render, void* user, char* error, size_t errorSize) {
    EnsureInit();
    HangWhile(kSbScriptHangsInOpen);
    auto* d =
        new (std::nothrow) Device{render, user, rate, nullptr, nullptr, false, -1, -1, nullptr, {}};
    if (!d || !(d->quit = CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
        if (error && errorSize)
            std::snprintf(error, errorSize, "%s", "The scripted output could not be opened.");
        delete d;
        return nullptr;
    }
    InitializeCriticalSection(&d->renderLock);
    EnterCriticalSection(&lock);
    SbScriptFault now = ActiveFault();
    d->silentFromStart = now == kSbScriptNeverCalls;
    if (now == kSbScriptStopsAfter)
        d->callsLeft = faultCallbacks;
    LeaveCriticalSection(&lock);
    d->thread = SbStartModuleThread(DeviceMain, d);
    if (!d->thread) {
        CloseHandle(d->quit);
        DeleteCriticalSection(&d->renderLock);
        delete d;
        if (error && errorSize)
            std::snprintf(error, errorSize, "%s", "The scripted output could not be opened.");
        return nullptr;
    }
    EnterCriticalSection(&lock);
    d->next = devices;
    devices = d;
    ++openCount;
    LeaveCriticalSection(&lock);
    return d;
}

bool Failed(void*) {
    return false; // a scripted device dies as quietly as a real one
}

void Close(void* output) {
    auto* d = static_cast<Device*>(output);
    SetEvent(d->quit);
    WaitForSingleObject(d->thread, INFINITE);
    CloseHandle(d->thread);
    CloseHandle(d->quit);
    HangWhile(kSbScriptHangsInStop);
    EnterCriticalSection(&lock);
    for (Device** link = &devices; *link; link = &(*link)->next) {
        if (*link == d) {
            *link = d->next;
            break;
        }
    }
    --openCount;
    LeaveCriticalSection(&lock);
    DeleteCriticalSection(&d->renderLock);
    delete d;
}

} // namespace

const SbOutputOps kSbScriptedOutput = {"script", Open, Failed, Close, nullptr, nullptr, nullptr};

void SbScriptArm(SbScriptFault kind, unsigned long durationMs, int callbacks) {
    EnsureInit();
    EnterCriticalSection(&lock);
    fault = kind;
    faultUntil = GetTickCount() + durationMs;
    faultCallbacks = callbacks;
    for (Device* d = devices; d; d = d->next) {
        EnterCriticalSection(&d->renderLock);
        if (kind == kSbScriptStopsAfter)
            InterlockedExchange(&d->callsLeft, callbacks);
        else if (kind == kSbScriptDefaultChange)
            InterlockedExchange(&d->reportAfter, callbacks);
        else if (kind != kSbScriptNone)
            InterlockedExchange(&d->callsLeft, 0);
        LeaveCriticalSection(&d->renderLock);
    }
    LeaveCriticalSection(&lock);
}

void SbScriptTake(std::vector<float>* frames, std::vector<SbScriptPeriod>* taken) {
    EnsureInit();
    EnterCriticalSection(&lock);
    frames->swap(consumed);
    taken->swap(periods);
    consumed.clear();
    periods.clear();
    LeaveCriticalSection(&lock);
}

int SbScriptOpenDevices() {
    EnsureInit();
    EnterCriticalSection(&lock);
    int n = openCount;
    LeaveCriticalSection(&lock);
    return n;
}
