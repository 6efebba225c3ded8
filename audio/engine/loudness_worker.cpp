#include "audio/engine/loudness_worker.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/engine/loudness.h"
#include "audio/engine/module_thread.h"
#include "audio/engine/run_once.h"

namespace {

constexpr int kMostEntries = 999;
constexpr int kMostRequests = 8; // files waiting to be measured

struct Key {
    char* path;
    ULONGLONG size;
    FILETIME written;
};

struct Entry {
    Key key;
    float gain;
};

// One run of the worker. A worker that outlasts the stop's wait keeps its own
// (its quit flag and events) and lets the next run have fresh ones.
struct Run {
    HANDLE wake; // a request came, or quit
    HANDLE done; // a measurement was stored
    volatile LONG quit;
};

volatile LONG onceState = 0;
CRITICAL_SECTION lock;
// Guarded by lock.
Entry cache[kMostEntries];
int entryCount = 0;
int nextEvicted = 0;
Key requests[kMostRequests];
int requestCount = 0;
Run* run = nullptr;
HANDLE thread = nullptr;

volatile LONG misses = 0;
volatile LONG measurements = 0;

void InitOnce() {
    InitializeCriticalSection(&lock);
}

bool KeyOf(const char* path, Key* key) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    key->path = const_cast<char*>(path);
    key->size = static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    key->written = data.ftLastWriteTime;
    return true;
}

bool SameFile(const Key& a, const Key& b) {
    return a.size == b.size && a.written.dwLowDateTime == b.written.dwLowDateTime &&
           a.written.dwHighDateTime == b.written.dwHighDateTime && lstrcmpiA(a.path, b.path) == 0;
}

// Under lock.
const Entry* Find(const Key& key) {
    for (int i = 0; i < entryCount; ++i)
        if (SameFile(cache[i].key, key))
            return &cache[i];
    return nullptr;
}

// Under lock: a file measured again replaces what it was; a full cache lets
// its oldest measurement go.
void Store(const Key& key, float gain) {
    int at = -1;
    for (int i = 0; i < entryCount && at < 0; ++i)
        if (lstrcmpiA(cache[i].key.path, key.path) == 0)
            at = i;
    if (at < 0 && entryCount < kMostEntries)
        at = entryCount++;
    if (at < 0) {
        at = nextEvicted;
        nextEvicted = (nextEvicted + 1) % kMostEntries;
    }
    std::free(cache[at].key.path);
    cache[at] = {key, gain};
}

bool Requested(const Key& key) {
    for (int i = 0; i < requestCount; ++i)
        if (SameFile(requests[i], key))
            return true;
    return false;
}

DWORD WINAPI Worker(void* param) {
    Run* mine = static_cast<Run*>(param);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    for (;;) {
        EnterCriticalSection(&lock);
        bool quit = mine->quit != 0;
        Key key = {nullptr, 0, {0, 0}};
        if (!quit && requestCount > 0) {
            key = requests[0];
            std::memmove(requests, requests + 1, sizeof requests[0] * --requestCount);
        }
        LeaveCriticalSection(&lock);
        if (quit)
            break;
        if (!key.path) {
            WaitForSingleObject(mine->wake, INFINITE);
            continue;
        }
        SbLoudness measured;
        bool ok = SbLoudnessMeasure(key.path, &mine->quit, &measured);
        if (!ok && mine->quit) {
            std::free(key.path);
            break;
        }
        // A file no decoder reads plays (or fails) as without evening.
        float gain = ok ? SbLoudnessGain(measured) : 1.0f;
        InterlockedIncrement(&measurements);
        EnterCriticalSection(&lock);
        Store(key, gain);
        LeaveCriticalSection(&lock);
        SetEvent(mine->done);
    }
    SbEndModuleThread();
    return 0;
}

// Under lock.
bool EnsureWorker() {
    if (thread)
        return true;
    Run* fresh = new (std::nothrow) Run{CreateEventA(nullptr, FALSE, FALSE, nullptr),
                                        CreateEventA(nullptr, FALSE, FALSE, nullptr), 0};
    if (fresh && fresh->wake && fresh->done) {
        thread = SbStartModuleThread(Worker, fresh);
        if (thread) {
            run = fresh;
            return true;
        }
    }
    if (fresh) {
        if (fresh->wake)
            CloseHandle(fresh->wake);
        if (fresh->done)
            CloseHandle(fresh->done);
        delete fresh;
    }
    return false;
}

} // namespace

float SbLoudnessGainFor(const char* path, unsigned long waitMs) {
    SbRunOnce(&onceState, InitOnce);
    Key key;
    if (!path || !KeyOf(path, &key))
        return 1.0f;
    EnterCriticalSection(&lock);
    const Entry* found = Find(key);
    if (found) {
        float gain = found->gain;
        LeaveCriticalSection(&lock);
        return gain;
    }
    HANDLE wake = nullptr, done = nullptr;
    if (!Requested(key) && requestCount < kMostRequests && EnsureWorker()) {
        key.path = _strdup(path);
        if (key.path)
            requests[requestCount++] = key;
    }
    if (run) {
        wake = run->wake;
        done = run->done;
    }
    LeaveCriticalSection(&lock);
    if (wake)
        SetEvent(wake);
    // Waits for this file's measurement, whichever others finish meanwhile.
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;) {
        QueryPerformanceCounter(&now);
        auto spent =
            static_cast<unsigned long>((now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
        if (!done || spent >= waitMs)
            break;
        WaitForSingleObject(done, waitMs - spent);
        if (!KeyOf(path, &key))
            break;
        EnterCriticalSection(&lock);
        found = Find(key);
        float gain = found ? found->gain : 1.0f;
        LeaveCriticalSection(&lock);
        if (found)
            return gain;
    }
    InterlockedIncrement(&misses);
    return 1.0f;
}

void SbLoudnessStop(unsigned long waitMs) {
    SbRunOnce(&onceState, InitOnce);
    EnterCriticalSection(&lock);
    HANDLE worker = thread;
    Run* ending = run;
    thread = nullptr;
    run = nullptr;
    for (int i = 0; i < requestCount; ++i)
        std::free(requests[i].path);
    requestCount = 0;
    if (ending)
        InterlockedExchange(&ending->quit, 1);
    LeaveCriticalSection(&lock);
    if (!worker)
        return;
    SetEvent(ending->wake);
    bool ended = WaitForSingleObject(worker, waitMs) == WAIT_OBJECT_0;
    CloseHandle(worker);
    // A worker stuck in a file read keeps its events; it ends at its next block.
    if (ended) {
        CloseHandle(ending->wake);
        CloseHandle(ending->done);
        delete ending;
    }
}

void SbLoudnessUnload() {
    if (!SbRunOnceUndo(&onceState))
        return;
    for (int i = 0; i < entryCount; ++i)
        std::free(cache[i].key.path);
    entryCount = nextEvicted = 0;
    for (int i = 0; i < requestCount; ++i)
        std::free(requests[i].path);
    requestCount = 0;
    DeleteCriticalSection(&lock);
}

long SbLoudnessMisses() {
    return InterlockedCompareExchange(&misses, 0, 0);
}

long SbLoudnessMeasurements() {
    return InterlockedCompareExchange(&measurements, 0, 0);
}
