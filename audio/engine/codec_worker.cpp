#include "audio/engine/codec_worker.h"

#include <windows.h>

#include <objbase.h>

#include <cstring>
#include <new>
#include <vector>

#include "audio/engine/mf_source.h"
#include "audio/engine/module_thread.h"
#include "audio/engine/run_once.h"
#include "audio/engine/wm_source.h"

namespace {

// Decoded ahead of each stream: enough to ride out a slow moment of the
// codec, little enough that a stream's memory does not grow with the file.
constexpr double kAheadSeconds = 0.5;
// Decoded before an open counts as done: the whole look-ahead, since the
// engine fills its ring that far ahead the moment the sound starts, and what
// the codec has not decoded by then would be heard as a gap. A few
// milliseconds of decoding.
constexpr double kOpenSeconds = kAheadSeconds;
// Silence handed out in a row before a stream whose codec stalled ends.
constexpr double kStallSeconds = 2.0;
// A codec thread with nothing to do ends after this, letting the codecs go.
constexpr DWORD kIdleMs = 10000;

enum JobState { kOpening, kOpen, kFailed };

struct Job {
    volatile LONG refs; // the codec thread's and the stream's
    wchar_t* path;
    HANDLE opened; // set when the open is decided

    // Guarded by lock.
    JobState state;
    bool dropped;     // the stream was closed, or its opener stopped waiting
    bool ended;       // the codec has nothing more
    bool rewindAsked; // the stream starts over: what is buffered is stale
    unsigned rate;
    unsigned long long lengthFrames; // as the codec tells it, 0 when it cannot
    std::vector<float> buffered;     // stereo frames from bufferedRead on
    size_t bufferedRead;
    size_t silentFrames; // handed out in a row while nothing was buffered
    Job* next;

    // The codec thread's own.
    const SbCodecOps* codec; // by the container
    void* reader;
    std::vector<float> decoded;
};

volatile LONG onceState = 0;
CRITICAL_SECTION lock;
HANDLE wake = nullptr;

// Guarded by lock.
Job* jobs = nullptr;
HANDLE thread = nullptr;
bool running = false;
bool stopping = false;

void InitOnce() {
    InitializeCriticalSection(&lock);
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void Release(Job* job) {
    if (InterlockedDecrement(&job->refs) != 0)
        return;
    if (job->opened)
        CloseHandle(job->opened);
    delete[] job->path;
    delete job;
}

size_t BufferedFrames(const Job* job) {
    return (job->buffered.size() - job->bufferedRead) / 2;
}

void ClearBuffer(Job* job) {
    job->buffered.clear();
    job->bufferedRead = 0;
}

// Under lock.
void Append(Job* job, const std::vector<float>& frames) {
    if (job->bufferedRead > 0 && job->bufferedRead * 2 >= job->buffered.size()) {
        job->buffered.erase(job->buffered.begin(),
                            job->buffered.begin() + static_cast<long>(job->bufferedRead));
        job->bufferedRead = 0;
    }
    job->buffered.insert(job->buffered.end(), frames.begin(), frames.end());
}

bool Next(Job* job) {
    job->decoded.clear();
    return job->codec->next(job->reader, job->decoded);
}

void CloseReader(Job* job) {
    if (job->reader)
        job->codec->close(job->reader);
    job->reader = nullptr;
}

void Open(Job* job) {
    SbPcmLayout layout = {};
    job->reader = job->codec->open(job->path, &layout);
    // The first frames, so that a file that opens but yields nothing is
    // refused here like any other, and as much as the device's ring holds,
    // so that a codec slow to get going is not heard as a gap after them.
    std::vector<float> first;
    bool more = job->reader != nullptr;
    while (more && first.size() < static_cast<size_t>(layout.rate * kOpenSeconds) * 2) {
        more = Next(job);
        first.insert(first.end(), job->decoded.begin(), job->decoded.end());
    }
    job->decoded.swap(first);
    bool ok = !job->decoded.empty();
    const unsigned long long hns = job->reader ? job->codec->lengthHns(job->reader) : 0;
    const unsigned long long lengthFrames = hns / 10000 * layout.rate / 1000;
    if (!ok)
        CloseReader(job);
    EnterCriticalSection(&lock);
    job->state = ok ? kOpen : kFailed;
    job->rate = layout.rate;
    job->lengthFrames = lengthFrames;
    job->ended = !more;
    if (ok)
        Append(job, job->decoded);
    SetEvent(job->opened);
    LeaveCriticalSection(&lock);
}

void Fill(Job* job) {
    EnterCriticalSection(&lock);
    bool rewind = job->rewindAsked;
    job->rewindAsked = false;
    LeaveCriticalSection(&lock);
    bool more = true;
    if (rewind)
        more = job->codec->rewind(job->reader);
    if (more)
        more = Next(job);
    EnterCriticalSection(&lock);
    // A rewind asked for meanwhile makes what was just decoded stale.
    if (!job->rewindAsked) {
        Append(job, job->decoded);
        job->ended = !more;
    }
    LeaveCriticalSection(&lock);
}

// Under lock: whether the codec thread has something to do for the job.
bool WantsFill(const Job* job) {
    return job->state == kOpen && !job->dropped &&
           (job->rewindAsked ||
            (!job->ended && BufferedFrames(job) < static_cast<size_t>(job->rate * kAheadSeconds)));
}

DWORD WINAPI Worker(void*) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD idleSince = GetTickCount();
    for (;;) {
        Job *gone = nullptr, *open = nullptr, *fill = nullptr;
        EnterCriticalSection(&lock);
        for (Job** link = &jobs; *link; link = &(*link)->next) {
            Job* job = *link;
            if (job->dropped || stopping) {
                *link = job->next;
                gone = job;
                break;
            }
            if (!open && job->state == kOpening)
                open = job;
            if (!fill && WantsFill(job))
                fill = job;
        }
        bool quit =
            !gone && !open && !fill && !jobs && (stopping || GetTickCount() - idleSince >= kIdleMs);
        if (quit)
            running = false;
        LeaveCriticalSection(&lock);
        if (quit)
            break;
        if (gone) {
            CloseReader(gone);
            EnterCriticalSection(&lock);
            if (gone->state == kOpening)
                gone->state = kFailed;
            gone->ended = true;
            SetEvent(gone->opened);
            LeaveCriticalSection(&lock);
            Release(gone);
        } else if (open) {
            Open(open);
        } else if (fill) {
            Fill(fill);
        } else {
            WaitForSingleObject(wake, 250);
            continue;
        }
        idleSince = GetTickCount();
    }
    kSbWmCodec.unload();
    kSbMfCodec.unload();
    if (SUCCEEDED(com))
        CoUninitialize();
    SbEndModuleThread();
    return 0;
}

// Hands the job to the codec thread, starting it unless it runs. The job
// joins the list under the same lock that tells whether the thread runs, so
// a thread that is ending for want of work never leaves it behind; one that
// ended is waited for first, so two never hold the codecs at once.
bool StartJob(Job* job) {
    EnterCriticalSection(&lock);
    job->next = jobs;
    jobs = job;
    bool wasRunning = running;
    HANDLE old = wasRunning ? nullptr : thread;
    if (!wasRunning) {
        thread = nullptr;
        running = true;
        stopping = false;
    }
    LeaveCriticalSection(&lock);
    if (wasRunning) {
        SetEvent(wake);
        return true;
    }
    if (old) {
        WaitForSingleObject(old, INFINITE);
        CloseHandle(old);
    }
    // The thread holds the module: a codec still stuck in an open when the
    // host unloads the plug-in must not find its code gone.
    HANDLE started = SbStartModuleThread(Worker, nullptr);
    EnterCriticalSection(&lock);
    thread = started;
    if (!started) {
        running = false;
        for (Job** link = &jobs; *link; link = &(*link)->next) {
            if (*link == job) {
                *link = job->next;
                break;
            }
        }
    }
    LeaveCriticalSection(&lock);
    if (!started)
        Release(job); // the codec thread's share
    return started != nullptr;
}

size_t FeedRead(void* context, float* out, size_t frameCount) {
    auto* job = static_cast<Job*>(context);
    EnterCriticalSection(&lock);
    size_t n = BufferedFrames(job);
    if (n > frameCount)
        n = frameCount;
    std::memcpy(out, job->buffered.data() + job->bufferedRead, n * 2 * sizeof(float));
    job->bufferedRead += n * 2;
    size_t given = n;
    if (n > 0) {
        job->silentFrames = 0;
    } else if (!job->ended && job->silentFrames < job->rate * kStallSeconds) {
        // The codec is behind: silence now rather than a wait, which would
        // hold up the device's ring and every other sound.
        std::memset(out, 0, frameCount * 2 * sizeof(float));
        job->silentFrames += frameCount;
        given = frameCount;
    }
    bool wanted = WantsFill(job);
    LeaveCriticalSection(&lock);
    if (wanted)
        SetEvent(wake);
    return given;
}

bool FeedRewind(void* context) {
    auto* job = static_cast<Job*>(context);
    EnterCriticalSection(&lock);
    job->rewindAsked = true;
    job->ended = false;
    job->silentFrames = 0;
    ClearBuffer(job);
    LeaveCriticalSection(&lock);
    SetEvent(wake);
    return true;
}

void FeedClose(void* context) {
    auto* job = static_cast<Job*>(context);
    EnterCriticalSection(&lock);
    job->dropped = true;
    LeaveCriticalSection(&lock);
    SetEvent(wake);
    Release(job);
}

const SbFeed kFeed = {FeedRead, FeedRewind, FeedClose};

wchar_t* WidePath(const char* path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (n <= 0)
        return nullptr;
    auto* wide = new (std::nothrow) wchar_t[static_cast<size_t>(n)];
    if (wide && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, n) != n) {
        delete[] wide;
        wide = nullptr;
    }
    return wide;
}

} // namespace

SbSource* SbCodecOpen(const char* path, SbContainer kind, unsigned long waitMs) {
    if (!path || (kind != kSbAsf && kind != kSbMp4))
        return nullptr;
    SbRunOnce(&onceState, InitOnce);
    auto* job = new (std::nothrow) Job();
    if (!job)
        return nullptr;
    job->refs = 2;
    job->codec = kind == kSbAsf ? &kSbWmCodec : &kSbMfCodec;
    job->path = WidePath(path);
    job->opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!job->path || !job->opened) {
        job->refs = 1;
        Release(job);
        return nullptr;
    }
    if (!StartJob(job)) {
        Release(job);
        return nullptr;
    }
    WaitForSingleObject(job->opened, waitMs);
    EnterCriticalSection(&lock);
    bool ok = job->state == kOpen;
    unsigned rate = job->rate;
    unsigned long long lengthFrames = job->lengthFrames;
    if (!ok)
        job->dropped = true; // late or failed: the codec thread lets it go
    LeaveCriticalSection(&lock);
    if (!ok) {
        SetEvent(wake);
        Release(job);
        return nullptr;
    }
    return SbSourceOpenFeed(&kFeed, job, rate, lengthFrames);
}

void SbCodecStop(unsigned long waitMs) {
    SbRunOnce(&onceState, InitOnce);
    EnterCriticalSection(&lock);
    HANDLE worker = running ? thread : nullptr;
    if (worker)
        stopping = true;
    LeaveCriticalSection(&lock);
    if (!worker)
        return;
    SetEvent(wake);
    WaitForSingleObject(worker, waitMs);
}

void SbCodecUnload() {
    if (!SbRunOnceUndo(&onceState))
        return;
    if (thread)
        CloseHandle(thread);
    thread = nullptr;
    running = stopping = false;
    if (wake)
        CloseHandle(wake);
    wake = nullptr;
    DeleteCriticalSection(&lock);
}
