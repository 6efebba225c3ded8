// The sound library's WASAPI, WinMM and null devices in the outputs' shape.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <new>

#include "audio/engine/library_output.h"
#include "audio/engine/ma_config.h"
#include "audio/engine/output_ops.h"
#include "audio/engine/run_once.h"

namespace {

struct LibraryOutput {
    ma_context context;
    ma_device device;
    bool contextReady = false;
    bool deviceReady = false;
    SbRender render = nullptr;
    void* user = nullptr;
    volatile LONG stoppedByItself = 0;
    volatile LONG stoppedByUs = 0;
};

void Put(char* error, size_t size, const char* text) {
    if (error && size)
        std::snprintf(error, size, "%s", text);
}

void DataCallback(ma_device* device, void* output, const void*, ma_uint32 frameCount) {
    auto* out = static_cast<LibraryOutput*>(device->pUserData);
    out->render(out->user, static_cast<float*>(output), frameCount);
}

void Notification(const ma_device_notification* note) {
    auto* out = static_cast<LibraryOutput*>(note->pDevice->pUserData);
    if (note->type == ma_device_notification_type_stopped &&
        !InterlockedCompareExchange(&out->stoppedByUs, 0, 0))
        InterlockedExchange(&out->stoppedByItself, 1);
}

void Free(LibraryOutput* out) {
    InterlockedExchange(&out->stoppedByUs, 1);
    if (out->deviceReady)
        ma_device_uninit(&out->device);
    if (out->contextReady)
        ma_context_uninit(&out->context);
    delete out;
}

void* Open(ma_backend backend, int deviceIndex, unsigned rate, SbRender render, void* user,
           char* error, size_t errorSize) {
    auto* out = new (std::nothrow) LibraryOutput;
    if (!out) {
        Put(error, errorSize, "The sound output could not be started: out of memory.");
        return nullptr;
    }
    out->render = render;
    out->user = user;
    if (!SbLibraryContextInit(backend, &out->context)) {
        Put(error, errorSize, "No sound output is available on this computer.");
        delete out;
        return nullptr;
    }
    out->contextReady = true;
    ma_device_config config = SbLibraryDeviceConfig(backend, rate);
    config.dataCallback = DataCallback;
    config.notificationCallback = Notification;
    config.pUserData = out;
    ma_device_id chosen;
    if (backend != ma_backend_null) {
        // No output device at all: fail here. Attempting a device init anyway
        // costs a handle per attempt inside the system's audio stack.
        ma_device_info* infos = nullptr;
        ma_uint32 count = 0;
        if (ma_context_get_devices(&out->context, &infos, &count, nullptr, nullptr) != MA_SUCCESS ||
            count == 0) {
            Put(error, errorSize, "No sound output device was found.");
            Free(out);
            return nullptr;
        }
        // Driver n is the n-th device of the output; 0 (or one that does not
        // exist) the system's default.
        if (deviceIndex > 0 && static_cast<ma_uint32>(deviceIndex) < count) {
            chosen = infos[deviceIndex].id;
            config.playback.pDeviceID = &chosen;
        }
    }
    if (ma_device_init(&out->context, &config, &out->device) != MA_SUCCESS) {
        Put(error, errorSize, "The sound output device could not be opened.");
        Free(out);
        return nullptr;
    }
    out->deviceReady = true;
    if (ma_device_start(&out->device) != MA_SUCCESS) {
        Put(error, errorSize, "The sound output device could not be started.");
        Free(out);
        return nullptr;
    }
    return out;
}

bool Failed(void* output) {
    return InterlockedCompareExchange(&static_cast<LibraryOutput*>(output)->stoppedByItself, 0,
                                      0) != 0;
}

void Close(void* output) {
    Free(static_cast<LibraryOutput*>(output));
}

bool Pause(void* output) {
    auto* out = static_cast<LibraryOutput*>(output);
    InterlockedExchange(&out->stoppedByUs, 1);
    return ma_device_stop(&out->device) == MA_SUCCESS;
}

bool Resume(void* output) {
    auto* out = static_cast<LibraryOutput*>(output);
    if (ma_device_start(&out->device) != MA_SUCCESS)
        return false;
    InterlockedExchange(&out->stoppedByUs, 0);
    return true;
}

// The library's outputs differ only in the backend they open.
template <ma_backend backend>
void* OpenBackend(int deviceIndex, unsigned rate, SbRender render, void* user, char* error,
                  size_t errorSize) {
    return Open(backend, deviceIndex, rate, render, user, error, errorSize);
}

} // namespace

// The library initialises COM in every context it makes and gives it back
// only when that call was the thread's first. The thread that opens devices
// has an apartment of its own already, so each context would leave one
// count behind: it is given back at once, the thread's own count holding the
// apartment.
bool SbLibraryContextInit(ma_backend backend, ma_context* context) {
    ma_context_config config = ma_context_config_init();
    bool ok = ma_context_init(&backend, 1, &config, context) == MA_SUCCESS;
    bool extraCount = ok ? context->win32.CoInitializeResult == S_FALSE : true;
    if (extraCount)
        CoUninitialize();
    return ok;
}

// The device's periods: short enough that a sound starts within a period or
// two, long enough that a busy machine keeps up (40 ms queued for WASAPI).
// WinMM's shortest period in the library is 40 ms; two of them keep its
// queue short. The callback takes what the device asks for as it comes,
// rather than through a buffer of the library's own that would add a period.
ma_device_config SbLibraryDeviceConfig(ma_backend backend, unsigned rate) {
    ma_device_config config = ma_device_config_init(ma_device_type_playback);
    config.playback.format = ma_format_f32;
    config.playback.channels = 2;
    config.sampleRate = static_cast<ma_uint32>(rate);
    config.noPreSilencedOutputBuffer = MA_TRUE; // the mixer writes every frame
    config.performanceProfile = ma_performance_profile_low_latency;
    config.noFixedSizedCallback = MA_TRUE;
    switch (backend) {
    case ma_backend_wasapi:
        config.periodSizeInMilliseconds = 10;
        config.periods = 4;
        // The system's audio thread scheduling, where it has one.
        config.wasapi.usage = ma_wasapi_usage_games;
        // The engine follows the default device itself (output.cpp): the
        // library rebuilding the device underneath it would be a second
        // owner of the same recovery.
        config.wasapi.noAutoStreamRouting = MA_TRUE;
        break;
    default: // the null device
        config.periodSizeInMilliseconds = 10;
        break;
    }
    return config;
}

const SbOutputOps kSbWasapiOutput = {
    "wasapi", OpenBackend<ma_backend_wasapi>, Failed, Close, Pause, Resume, nullptr};
const SbOutputOps kSbNullOutput = {
    "silent", OpenBackend<ma_backend_null>, Failed, Close, Pause, Resume, nullptr};
