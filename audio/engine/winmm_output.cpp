#include "audio/engine/winmm_output.h"

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <new>
#include <vector>

#include "audio/engine/feeder.h"
#include "audio/engine/pcm16.h"
#include "audio/engine/run_once.h"
#include "audio/engine/system_library.h"

namespace {

// Buffers queued and their length: a sound starts behind at most this much
// of what was mixed before it, and a buffer is refilled as soon as it comes
// back, so a busy machine has three buffers' time to run the feeder. Under
// Wine and PulseAudio on a loaded machine, 4 x 10 ms left gaps in most
// tones; 4 x 15 ms none, with sounds heard about 40 ms after the call.
constexpr unsigned kBuffers = 4;
constexpr unsigned kBufferMs = 15;
constexpr size_t kChannels = 2;

HMODULE winmm = nullptr;
volatile LONG winmmOnce = 0;

typedef MMRESULT(WINAPI* OpenFn)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD);
typedef MMRESULT(WINAPI* HeaderFn)(HWAVEOUT, LPWAVEHDR, UINT);
typedef MMRESULT(WINAPI* DeviceFn)(HWAVEOUT);
typedef UINT(WINAPI* CountFn)();

// waveOut, as winmm.dll has it.
struct WaveOut {
    OpenFn open = nullptr;
    DeviceFn close = nullptr;
    DeviceFn reset = nullptr;
    HeaderFn prepare = nullptr;
    HeaderFn unprepare = nullptr;
    HeaderFn write = nullptr;
    CountFn count = nullptr;
};

template <typename Fn> bool Find(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(SbWinmmProc(name));
    return fn != nullptr;
}

bool FindWaveOut(WaveOut& w) {
    return Find(w.open, "waveOutOpen") && Find(w.close, "waveOutClose") &&
           Find(w.reset, "waveOutReset") && Find(w.prepare, "waveOutPrepareHeader") &&
           Find(w.unprepare, "waveOutUnprepareHeader") && Find(w.write, "waveOutWrite") &&
           Find(w.count, "waveOutGetNumDevs");
}

} // namespace

struct SbWmOutput {
    WaveOut api;
    HWAVEOUT wave = nullptr;
    WAVEHDR headers[kBuffers] = {};
    bool queued[kBuffers] = {}; // written and not yet seen back
    unsigned nextHeader = 0;    // the buffers go out and come back in turn
    size_t bufferFrames = 0;
    std::vector<short> pcm;
    std::vector<float> frames;
    SbWmRender render = nullptr;
    void* user = nullptr;
    HANDLE done = nullptr; // set by the device as each buffer comes back
    SbFeeder feeder;
};

namespace {

bool Back(const WAVEHDR& header) {
    MemoryBarrier(); // the device's thread sets the flag
    return (static_cast<const volatile DWORD&>(header.dwFlags) & WHDR_DONE) != 0;
}

// Renders into every buffer the device has handed back and queues it again,
// in turn (each once a pass: a driver that hands buffers straight back
// cannot keep the feeder spinning). False when the device refuses one.
bool Refill(SbWmOutput* o) {
    for (unsigned n = 0; n < kBuffers; ++n) {
        unsigned i = o->nextHeader;
        WAVEHDR& header = o->headers[i];
        if (o->queued[i] && !Back(header))
            return true;
        o->render(o->user, o->frames.data(), o->bufferFrames);
        SbFloatToS16(o->frames.data(), reinterpret_cast<short*>(header.lpData),
                     o->bufferFrames * kChannels);
        o->queued[i] = true;
        if (o->api.write(o->wave, &header, sizeof header) != MMSYSERR_NOERROR) {
            o->queued[i] = false;
            return false;
        }
        o->nextHeader = (i + 1) % kBuffers;
    }
    return true;
}

// Every buffer back from the device, unplayed; nothing queued.
void Drop(SbWmOutput* o) {
    o->api.reset(o->wave);
    for (bool& q : o->queued)
        q = false;
    o->nextHeader = 0;
}

DWORD WINAPI Feed(void* param) {
    auto* o = static_cast<SbWmOutput*>(param);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    HANDLE waits[3] = {o->feeder.quit, o->feeder.control, o->done};
    bool paused = false;
    bool ok = Refill(o);
    // No timer: a device that stops handing buffers back stops the feeder
    // too, which is how the engine learns that it is gone.
    while (ok && WaitForMultipleObjects(3, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        bool pause = SbFeederWantsPause(o->feeder);
        if (pause != paused) {
            paused = pause;
            if (paused)
                Drop(o);
        }
        if (!paused)
            ok = Refill(o);
    }
    if (!ok)
        InterlockedExchange(&o->feeder.failed, 1);
    CoUninitialize();
    return 0;
}

void Release(SbWmOutput* o) {
    if (o->wave) {
        Drop(o);
        for (WAVEHDR& header : o->headers)
            if (header.dwFlags & WHDR_PREPARED)
                o->api.unprepare(o->wave, &header, sizeof header);
        o->api.close(o->wave);
    }
    if (o->done)
        CloseHandle(o->done);
    SbFeederCloseEvents(o->feeder);
    delete o;
}

} // namespace

void* SbWinmmProc(const char* name) {
    SbRunOnce(&winmmOnce, [] {
        HMODULE pinned;
        winmm = LoadLibraryA("winmm.dll");
        if (winmm)
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "winmm.dll", &pinned);
    });
    return SbProc<void*>(winmm, name);
}

SbWmOutput* SbWmOpen(int deviceIndex, unsigned rate, SbWmRender render, void* user, char* error,
                     size_t errorSize) {
    auto* o = new (std::nothrow) SbWmOutput;
    if (!o) {
        SbPutError(error, errorSize, "The sound output could not be started: out of memory.");
        return nullptr;
    }
    o->render = render;
    o->user = user;
    if (!FindWaveOut(o->api)) {
        SbPutError(error, errorSize, "WinMM is not available on this computer.");
        delete o;
        return nullptr;
    }
    // No device at all: fail before opening one, which on some systems
    // costs a handle inside the audio stack even when it fails.
    UINT devices = o->api.count();
    if (devices == 0) {
        SbPutError(error, errorSize, "No sound output device was found.");
        delete o;
        return nullptr;
    }
    o->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    bool events = SbFeederEvents(o->feeder);
    o->bufferFrames = rate * kBufferMs / 1000;
    o->frames.resize(o->bufferFrames * kChannels);
    o->pcm.resize(o->bufferFrames * kChannels * kBuffers);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = kChannels * 2;
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    UINT id = deviceIndex > 0 && static_cast<UINT>(deviceIndex) < devices
                  ? static_cast<UINT>(deviceIndex)
                  : WAVE_MAPPER;
    if (!o->done || !events ||
        o->api.open(&o->wave, id, &format, reinterpret_cast<DWORD_PTR>(o->done), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        o->wave = nullptr;
        SbPutError(error, errorSize, "The sound output device could not be opened.");
        Release(o);
        return nullptr;
    }
    for (unsigned i = 0; i < kBuffers; ++i) {
        WAVEHDR& header = o->headers[i];
        header.lpData = reinterpret_cast<LPSTR>(&o->pcm[i * o->bufferFrames * kChannels]);
        header.dwBufferLength = static_cast<DWORD>(o->bufferFrames * format.nBlockAlign);
        if (o->api.prepare(o->wave, &header, sizeof header) != MMSYSERR_NOERROR) {
            SbPutError(error, errorSize, "The sound output device could not be started.");
            Release(o);
            return nullptr;
        }
    }
    if (!SbFeederStart(o->feeder, Feed, o, error, errorSize)) {
        Release(o);
        return nullptr;
    }
    return o;
}

bool SbWmFailed(SbWmOutput* o) {
    return SbFeederFailed(o->feeder);
}

void SbWmPause(SbWmOutput* o, bool paused) {
    if (!o)
        return;
    SbFeederPause(o->feeder, paused);
}

void SbWmClose(SbWmOutput* o) {
    if (!o)
        return;
    SbFeederStop(o->feeder);
    Release(o);
}
