// The one shape every output has, whoever drives it: the sound library's
// WASAPI and null devices, the engine's own DirectSound and WinMM
// outputs, and the scripted output of the test build. The output state
// machine (output.cpp) knows outputs only through this table; another output
// is a row of it.
#ifndef SONABELL_AUDIO_ENGINE_OUTPUT_OPS_H
#define SONABELL_AUDIO_ENGINE_OUTPUT_OPS_H

#include <stddef.h>

// Fills frameCount interleaved stereo float frames for the device. Called
// on the output's own thread; never blocks for long.
typedef void (*SbRender)(void* user, float* frames, size_t frameCount);

struct SbOutputOps {
    const char* name; // as SONABELL_AUDIO_OUTPUT names it
    // Opens device number deviceIndex (0, or one that does not exist: the
    // system's default) at rate and starts calling render. Null, with the
    // reason in error, when it cannot. May block inside the driver.
    void* (*open)(int deviceIndex, unsigned rate, SbRender render, void* user, char* error,
                  size_t errorSize);
    // True once the device reported an error it does not recover from.
    bool (*failed)(void* output);
    // Stops calling render and lets the device go. May block inside the
    // driver: called on a thread where a wait is harmless.
    void (*close)(void* output);
    // Optional (null): stops the stream and starts it again without letting
    // the device go, for an idle engine. Without them an idle engine closes.
    bool (*pause)(void* output);
    bool (*resume)(void* output);
    // Optional (null): a handle of the caller's own that, set now and then,
    // helps a close stuck on a dead device along. Taken before close starts.
    void* (*stuckEvent)(void* output);
};

// The library's outputs (library_output.cpp).
extern const SbOutputOps kSbWasapiOutput;
extern const SbOutputOps kSbNullOutput;
// The engine's own DirectSound and WinMM outputs (dsound_output.h,
// winmm_output.h), in this shape.
extern const SbOutputOps kSbDirectSoundOutput;
extern const SbOutputOps kSbWinmmOutput;
#ifdef SONABELL_SCRIPTED_OUTPUT
extern const SbOutputOps kSbScriptedOutput; // the test build's (script_output.cpp)
#endif

#endif
