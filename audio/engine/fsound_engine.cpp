// The stream engine behind the audio-library contract: one output device
// (miniaudio), streams decoded from disk in the device's own callback, and at
// most one stream heard at a time.
//
// The caller's thread and the audio thread share the stream list and the
// playing stream under `streamLock`, a CRITICAL_SECTION: miniaudio's own mutex
// is an event object, a kernel call per lock. Starting and stopping the device
// is serialised by `controlLock`, never held by the audio thread, so stopping
// can wait for the audio thread without deadlock.
#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "audio/engine/capture_wav.h"
#include "audio/engine/engine_probe.h"
#include "audio/engine/ma_config.h"
#include "audio/engine/stream_source.h"
#include "audio/fsound.h"

namespace {

struct Stream {
    UINT_PTR id;
    SbSource* source;
    bool finished;
    Stream* next;
};

CRITICAL_SECTION controlLock;
CRITICAL_SECTION streamLock;

// Settings for the next start.
int outputType = FSOUND_OUTPUT_WINMM;
int driverIndex = 0;

// Owned by the control side; valid while `running`.
bool running = false;
ma_context context;
ma_device device;
SbCapture* capture = nullptr; // written by the audio thread only while running

// Guarded by streamLock.
Stream* streams = nullptr;
Stream* playing = nullptr;
UINT_PTR lastId = 0;
unsigned mixRate = 0;
LONGLONG playTick = 0;
LONGLONG firstMixTick = 0;

bool InitLocks() {
    InitializeCriticalSection(&controlLock);
    InitializeCriticalSection(&streamLock);
    return true;
}

void EnsureLocks() {
    // The C++ runtime runs a local static's initialiser once, whichever
    // threads race to it, on every Windows version (InitOnce needs Vista).
    static const bool ready = InitLocks();
    (void)ready;
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

Stream* Find(FSOUND_STREAM* handle) {
    auto id = reinterpret_cast<UINT_PTR>(handle);
    for (Stream* s = streams; s; s = s->next)
        if (s->id == id)
            return s;
    return nullptr;
}

void DataCallback(ma_device*, void* output, const void*, ma_uint32 frameCount) {
    auto* out = static_cast<float*>(output); // miniaudio hands it over silenced
    EnterCriticalSection(&streamLock);
    if (playing) {
        size_t got = SbSourceRead(playing->source, out, frameCount);
        if (got > 0 && firstMixTick == 0)
            firstMixTick = Now();
        if (got < frameCount) {
            playing->finished = true;
            playing = nullptr;
        }
    }
    LeaveCriticalSection(&streamLock);
    if (capture)
        SbCaptureWrite(capture, out, frameCount);
}

// The diagnostic override: "silent", or "capture:<path of a WAV file>".
// Returns false when it is not set; path is empty for "silent".
bool ReadOverride(std::vector<char>& capturePath) {
    char small[1];
    DWORD need = GetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", small, 0);
    if (need == 0)
        return false;
    std::vector<char> value(need + 1, '\0');
    if (GetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", value.data(), need + 1) >= need + 1)
        return false;
    const char* v = value.data();
    if (std::strcmp(v, "silent") == 0) {
        capturePath.assign(1, '\0');
        return true;
    }
    if (std::strncmp(v, "capture:", 8) == 0 && v[8] != '\0') {
        capturePath.assign(v + 8, v + std::strlen(v) + 1);
        return true;
    }
    return false; // unknown values are ignored rather than guessed at
}

// Output 0 is silent; 1 tries the system's outputs from the newest to the
// oldest, 2 puts DirectSound first.
ma_uint32 PickBackends(bool silent, ma_backend* backends) {
    if (silent || outputType == FSOUND_OUTPUT_NOSOUND) {
        backends[0] = ma_backend_null;
        return 1;
    }
    if (outputType == FSOUND_OUTPUT_DSOUND) {
        backends[0] = ma_backend_dsound;
        backends[1] = ma_backend_wasapi;
        backends[2] = ma_backend_winmm;
        return 3;
    }
    backends[0] = ma_backend_wasapi;
    backends[1] = ma_backend_dsound;
    backends[2] = ma_backend_winmm;
    return 3;
}

bool Start(int requestedRate) {
    std::vector<char> capturePath;
    bool overridden = ReadOverride(capturePath);
    ma_backend backends[3];
    ma_uint32 backendCount = PickBackends(overridden, backends);
    bool silent = backends[0] == ma_backend_null;

    ma_context_config contextConfig = ma_context_config_init();
    if (ma_context_init(backends, backendCount, &contextConfig, &context) != MA_SUCCESS)
        return false;

    unsigned rate = requestedRate >= 8000 && requestedRate <= 192000
                        ? static_cast<unsigned>(requestedRate)
                        : 44100;
    ma_device_config config = ma_device_config_init(ma_device_type_playback);
    config.playback.format = ma_format_f32;
    config.playback.channels = 2;
    config.sampleRate = rate;
    config.dataCallback = DataCallback;
    if (silent) {
        config.periodSizeInMilliseconds = 10;
    } else {
        config.performanceProfile = ma_performance_profile_conservative;
    }
    // Driver n is the n-th device of the output; 0 (or one that does not
    // exist) the system's default.
    ma_device_id chosen;
    if (!silent && driverIndex > 0) {
        ma_device_info* infos = nullptr;
        ma_uint32 count = 0;
        if (ma_context_get_devices(&context, &infos, &count, nullptr, nullptr) == MA_SUCCESS &&
            static_cast<ma_uint32>(driverIndex) < count) {
            chosen = infos[driverIndex].id;
            config.playback.pDeviceID = &chosen;
        }
    }
    if (!silent) {
        // No output device at all: fail here. Attempting a device init anyway
        // costs a handle per attempt inside the system's audio stack.
        ma_device_info* infos = nullptr;
        ma_uint32 count = 0;
        if (ma_context_get_devices(&context, &infos, &count, nullptr, nullptr) != MA_SUCCESS ||
            count == 0) {
            ma_context_uninit(&context);
            return false;
        }
    }
    if (ma_device_init(&context, &config, &device) != MA_SUCCESS) {
        ma_context_uninit(&context);
        return false;
    }
    if (capturePath.size() > 1) {
        capture = SbCaptureOpen(capturePath.data(), device.sampleRate);
        if (!capture) {
            ma_device_uninit(&device);
            ma_context_uninit(&context);
            return false;
        }
    }
    EnterCriticalSection(&streamLock);
    mixRate = device.sampleRate;
    LeaveCriticalSection(&streamLock);
    if (ma_device_start(&device) != MA_SUCCESS) {
        ma_device_uninit(&device);
        ma_context_uninit(&context);
        SbCaptureClose(capture);
        capture = nullptr;
        EnterCriticalSection(&streamLock);
        mixRate = 0;
        LeaveCriticalSection(&streamLock);
        return false;
    }
    return true;
}

} // namespace

extern "C" {

signed char FSOUND_API FSOUND_SetOutput(int type) {
    if (type < FSOUND_OUTPUT_NOSOUND || type > FSOUND_OUTPUT_DSOUND)
        return 0;
    EnsureLocks();
    EnterCriticalSection(&controlLock);
    outputType = type; // takes effect at the next start
    LeaveCriticalSection(&controlLock);
    return 1;
}

signed char FSOUND_API FSOUND_SetDriver(int driver) {
    if (driver < 0)
        return 0;
    EnsureLocks();
    EnterCriticalSection(&controlLock);
    driverIndex = driver;
    LeaveCriticalSection(&controlLock);
    return 1;
}

// A start while the engine runs keeps the running device and whatever plays
// on it: the plug-in runs the start calls a second time on its first Play.
signed char FSOUND_API FSOUND_Init(int mixRateWanted, int, unsigned int) {
    EnsureLocks();
    EnterCriticalSection(&controlLock);
    if (!running)
        running = Start(mixRateWanted);
    bool ok = running;
    LeaveCriticalSection(&controlLock);
    return ok ? 1 : 0;
}

FSOUND_STREAM* FSOUND_API FSOUND_Stream_OpenFile(const char* path, unsigned int, int) {
    EnsureLocks();
    SbSource* source = SbSourceOpenFile(path);
    if (!source)
        return nullptr;
    auto* s = new (std::nothrow) Stream{0, source, false, nullptr};
    if (!s) {
        SbSourceClose(source);
        return nullptr;
    }
    EnterCriticalSection(&streamLock);
    // Handles are serial numbers, not addresses, so a stale handle closed a
    // second time can never reach a newer stream.
    if (++lastId == 0)
        ++lastId;
    s->id = lastId;
    s->next = streams;
    streams = s;
    LeaveCriticalSection(&streamLock);
    return reinterpret_cast<FSOUND_STREAM*>(s->id);
}

int FSOUND_API FSOUND_Stream_Play(int, FSOUND_STREAM* handle) {
    EnsureLocks();
    int channel = 0;
    EnterCriticalSection(&streamLock);
    Stream* s = Find(handle);
    if (s && mixRate != 0) {
        if (s == playing) {
            channel = 1;
        } else if ((!s->finished || SbSourceRewind(s->source)) &&
                   SbSourceSetOutputRate(s->source, mixRate)) {
            s->finished = false;
            playing = s; // whatever played before falls silent
            playTick = Now();
            firstMixTick = 0;
            channel = 1;
        }
    }
    LeaveCriticalSection(&streamLock);
    return channel;
}

signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM* handle) {
    EnsureLocks();
    EnterCriticalSection(&streamLock);
    Stream* found = Find(handle);
    for (Stream** link = &streams; found && *link; link = &(*link)->next) {
        if (*link == found) {
            *link = found->next;
            break;
        }
    }
    if (found && found == playing)
        playing = nullptr;
    LeaveCriticalSection(&streamLock);
    if (!found)
        return 0;
    // Unlinked under the lock, so the audio thread can no longer reach it.
    SbSourceClose(found->source);
    delete found;
    return 1;
}

void FSOUND_API FSOUND_Close(void) {
    EnsureLocks();
    EnterCriticalSection(&controlLock);
    if (running) {
        ma_device_uninit(&device); // stops the device and joins its thread
        ma_context_uninit(&context);
        running = false;
    }
    SbCaptureClose(capture);
    capture = nullptr;
    EnterCriticalSection(&streamLock);
    Stream* list = streams;
    streams = nullptr;
    playing = nullptr;
    mixRate = 0;
    LeaveCriticalSection(&streamLock);
    while (list) {
        Stream* next = list->next;
        SbSourceClose(list->source);
        delete list;
        list = next;
    }
    LeaveCriticalSection(&controlLock);
}

} // extern "C"

bool SbEngineIsPlaying(FSOUND_STREAM* handle) {
    EnsureLocks();
    EnterCriticalSection(&streamLock);
    bool result = playing && playing == Find(handle);
    LeaveCriticalSection(&streamLock);
    return result;
}

double SbEngineFirstMixDelayMs() {
    EnsureLocks();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EnterCriticalSection(&streamLock);
    double ms = firstMixTick == 0 ? -1.0
                                  : static_cast<double>(firstMixTick - playTick) * 1000.0 /
                                        static_cast<double>(frequency.QuadPart);
    LeaveCriticalSection(&streamLock);
    return ms;
}

unsigned SbEngineMixRate() {
    EnsureLocks();
    EnterCriticalSection(&streamLock);
    unsigned rate = mixRate;
    LeaveCriticalSection(&streamLock);
    return rate;
}
