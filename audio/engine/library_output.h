// How the engine asks the sound library for a context and a device. The bare
// latency tool (tools/bench/bare_output.cpp) opens its stream through the
// same two calls, so that what it measures is the engine's stream without
// the engine.
#ifndef SONABELL_AUDIO_ENGINE_LIBRARY_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_LIBRARY_OUTPUT_H

#include "audio/engine/ma_config.h"

// A context of that one backend, on a thread whose COM apartment is its own.
bool SbLibraryContextInit(ma_backend backend, ma_context* context);

// A playback device of the engine's shape (stereo float at rate) with the
// engine's periods and scheduling for that backend; callbacks and user data
// are the caller's.
ma_device_config SbLibraryDeviceConfig(ma_backend backend, unsigned rate);

#endif
