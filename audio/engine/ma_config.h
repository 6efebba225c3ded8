// The parts of miniaudio and stb_vorbis the engine is built with. Every
// translation unit that includes miniaudio.h must see the same choices, as
// some of them change the layout of miniaudio's structures.
#ifndef SONABELL_AUDIO_ENGINE_MA_CONFIG_H
#define SONABELL_AUDIO_ENGINE_MA_CONFIG_H

#define MA_NO_ENCODING
#define MA_NO_GENERATION
#define MA_NO_RESOURCE_MANAGER
#define MA_NO_NODE_GRAPH
#define MA_NO_ENGINE
#define MA_ENABLE_ONLY_SPECIFIC_BACKENDS
#ifdef _WIN32
// DirectSound and WinMM are driven by the engine itself (dsound_output.*,
// winmm_output.*).
#define MA_ENABLE_WASAPI
#define MA_ENABLE_NULL
#else
// Off Windows only the decoding half is built (tests and fuzzing).
#define MA_NO_DEVICE_IO
#endif

#define STB_VORBIS_HEADER_ONLY
#include "stb_vorbis.h"
#include "miniaudio.h"

#endif
