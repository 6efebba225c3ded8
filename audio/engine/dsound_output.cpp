#include "audio/engine/dsound_output.h"

#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>

#include <dsound.h>

#include <cstdio>
#include <new>
#include <vector>

namespace {

// The secondary buffer, and how much of it is kept queued ahead of the
// write cursor: enough to ride out a busy machine, little enough to start a
// sound well within a tenth of a second (the system keeps its own queue of
// a few tens of milliseconds behind the write cursor).
constexpr unsigned kBufferMs = 200;
constexpr unsigned kAheadMs = 30;
constexpr DWORD kPollMs = 5;
constexpr size_t kBytesPerFrame = 4; // 16-bit stereo

typedef HRESULT(WINAPI* CreateFn)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);
typedef HRESULT(WINAPI* EnumerateFn)(LPDSENUMCALLBACKA, LPVOID);

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

void Put(char* error, size_t size, const char* text) {
    if (error && size)
        std::snprintf(error, size, "%s", text);
}

} // namespace

struct SbDsOutput {
    HMODULE library = nullptr;
    IDirectSound* sound = nullptr;
    IDirectSoundBuffer* buffer = nullptr;
    DWORD bufferBytes = 0;
    DWORD aheadBytes = 0;
    DWORD next = 0; // where the next frames go
    SbDsRender render = nullptr;
    void* user = nullptr;
    std::vector<float> frames;
    HANDLE thread = nullptr;
    HANDLE quit = nullptr;
    volatile LONG failed = 0;
};

namespace {

// Renders bytes of sound at the buffer's offset `at`.
bool Write(SbDsOutput* o, DWORD at, DWORD bytes) {
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
        if (o->frames.size() < count * 2)
            o->frames.resize(count * 2);
        o->render(o->user, o->frames.data(), count);
        auto* out = static_cast<short*>(part[i]);
        for (size_t n = 0; n < count * 2; ++n) {
            float v = o->frames[n] * 32768.0f;
            out[n] = static_cast<short>(!(v == v)        ? 0
                                        : v >= 32767.0f  ? 32767
                                        : v <= -32768.0f ? -32768
                                                         : v);
        }
    }
    return SUCCEEDED(o->buffer->Unlock(part[0], size[0], part[1], size[1]));
}

DWORD WINAPI Feed(void* param) {
    auto* o = static_cast<SbDsOutput*>(param);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    int errors = 0;
    while (WaitForSingleObject(o->quit, kPollMs) == WAIT_TIMEOUT) {
        DWORD play = 0, write = 0;
        HRESULT hr = o->buffer->GetCurrentPosition(&play, &write);
        if (hr == DSERR_BUFFERLOST && SUCCEEDED(o->buffer->Restore()) &&
            SUCCEEDED(o->buffer->Play(0, 0, DSBPLAY_LOOPING)))
            hr = o->buffer->GetCurrentPosition(&play, &write);
        if (FAILED(hr)) {
            if (++errors >= 3)
                break;
            continue;
        }
        // What is queued past the write cursor. More than half the buffer
        // means the cursor overtook us: start again at the cursor.
        DWORD queued = (o->next + o->bufferBytes - write) % o->bufferBytes;
        if (queued > o->bufferBytes / 2) {
            o->next = write;
            queued = 0;
        }
        if (queued >= o->aheadBytes)
            continue;
        DWORD bytes = (o->aheadBytes - queued) / kBytesPerFrame * kBytesPerFrame;
        if (bytes == 0)
            continue;
        if (!Write(o, o->next, bytes)) {
            if (++errors >= 3)
                break;
            continue;
        }
        errors = 0;
        o->next = (o->next + bytes) % o->bufferBytes;
    }
    if (errors >= 3)
        InterlockedExchange(&o->failed, 1);
    CoUninitialize();
    return 0;
}

void Release(SbDsOutput* o) {
    if (o->buffer) {
        o->buffer->Stop();
        o->buffer->Release();
    }
    if (o->sound)
        o->sound->Release();
    if (o->quit)
        CloseHandle(o->quit);
    if (o->library)
        FreeLibrary(o->library);
    delete o;
}

} // namespace

SbDsOutput* SbDsOpen(int deviceIndex, unsigned rate, SbDsRender render, void* user, char* error,
                     size_t errorSize) {
    auto* o = new (std::nothrow) SbDsOutput;
    if (!o) {
        Put(error, errorSize, "The sound output could not be started: out of memory.");
        return nullptr;
    }
    o->render = render;
    o->user = user;
    // Looked up at run time, like every other part of the system's audio.
    o->library = LoadLibraryA("dsound.dll");
    auto create = o->library ? reinterpret_cast<CreateFn>(reinterpret_cast<void*>(
                                   GetProcAddress(o->library, "DirectSoundCreate")))
                             : nullptr;
    auto enumerate = o->library ? reinterpret_cast<EnumerateFn>(reinterpret_cast<void*>(
                                      GetProcAddress(o->library, "DirectSoundEnumerateA")))
                                : nullptr;
    if (!create) {
        Put(error, errorSize, "DirectSound is not available on this computer.");
        Release(o);
        return nullptr;
    }
    // Device n of the enumeration; the first entry is the system's default.
    Found found{deviceIndex};
    if (deviceIndex > 0 && enumerate)
        enumerate(OnDevice, &found);
    if (FAILED(create(found.found ? &found.guid : nullptr, &o->sound, nullptr)) ||
        FAILED(o->sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
        Put(error, errorSize, "The sound output device could not be opened.");
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
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = rate * kBufferMs / 1000 * kBytesPerFrame;
    desc.lpwfxFormat = &format;
    o->bufferBytes = desc.dwBufferBytes;
    o->aheadBytes = rate * kAheadMs / 1000 * kBytesPerFrame;
    DWORD play = 0, write = 0;
    if (FAILED(o->sound->CreateSoundBuffer(&desc, &o->buffer, nullptr)) ||
        FAILED(o->buffer->GetCurrentPosition(&play, &write)) || !Write(o, 0, o->aheadBytes) ||
        FAILED(o->buffer->Play(0, 0, DSBPLAY_LOOPING))) {
        Put(error, errorSize, "The sound output device could not be started.");
        Release(o);
        return nullptr;
    }
    o->next = o->aheadBytes;
    o->quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    o->thread = o->quit ? CreateThread(nullptr, 0, Feed, o, 0, nullptr) : nullptr;
    if (!o->thread) {
        Put(error, errorSize, "The sound output could not be started: no thread.");
        Release(o);
        return nullptr;
    }
    return o;
}

bool SbDsFailed(SbDsOutput* o) {
    return InterlockedCompareExchange(&o->failed, 0, 0) != 0;
}

void SbDsClose(SbDsOutput* o) {
    if (!o)
        return;
    SetEvent(o->quit);
    WaitForSingleObject(o->thread, INFINITE);
    CloseHandle(o->thread);
    Release(o);
}
