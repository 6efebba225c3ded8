// M4A/AAC through Media Foundation's source reader (mfplat.dll and
// mfreadwrite.dll, loaded at first need: Windows 7 and later). MFStartup is
// balanced by the table's unload.
#ifndef SONABELL_AUDIO_ENGINE_MF_SOURCE_H
#define SONABELL_AUDIO_ENGINE_MF_SOURCE_H

#include "audio/engine/codec_ops.h"

extern const SbCodecOps kSbMfCodec;

#endif
