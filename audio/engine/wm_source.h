// WMA and ASF audio through the Windows Media Format runtime (wmvcore.dll,
// loaded at first need: Windows XP SP3 and later have it, "N" editions only
// with their media pack). The codec thread's own: COM is initialised there.
#ifndef SONABELL_AUDIO_ENGINE_WM_SOURCE_H
#define SONABELL_AUDIO_ENGINE_WM_SOURCE_H

#include <vector>

#include "audio/engine/codec_pcm.h"

struct SbWmReader;

// Null when the runtime is missing or cannot read the file's audio.
SbWmReader* SbWmOpen(const wchar_t* path, SbPcmLayout* layout);
// Appends the next decoded stretch as stereo float; false at the end.
bool SbWmNext(SbWmReader* reader, std::vector<float>& out);
bool SbWmRewind(SbWmReader* reader);
// The file's length as its header gives it, in 100-nanosecond units; 0 when
// it does not.
unsigned long long SbWmLengthHns(SbWmReader* reader);
void SbWmClose(SbWmReader* reader);
// Lets the runtime go, once every reader is closed.
void SbWmUnload();

#endif
