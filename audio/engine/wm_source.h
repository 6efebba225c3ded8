// WMA and ASF audio through the Windows Media Format runtime (wmvcore.dll,
// loaded at first need: Windows XP SP3 and later have it, "N" editions only
// with their media pack).
#ifndef SONABELL_AUDIO_ENGINE_WM_SOURCE_H
#define SONABELL_AUDIO_ENGINE_WM_SOURCE_H

#include "audio/engine/codec_ops.h"

extern const SbCodecOps kSbWmCodec;

#endif
