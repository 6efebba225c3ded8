// M4A/AAC through Media Foundation's source reader (mfplat.dll and
// mfreadwrite.dll, loaded at first need: Windows 7 and later). The codec
// thread's own: COM is initialised there, and MFStartup is balanced by
// SbMfUnload.
#ifndef SONABELL_AUDIO_ENGINE_MF_SOURCE_H
#define SONABELL_AUDIO_ENGINE_MF_SOURCE_H

#include <vector>

#include "audio/engine/codec_pcm.h"

struct SbMfReader;

// Null when Media Foundation is missing or cannot read the file's audio.
SbMfReader* SbMfOpen(const wchar_t* path, SbPcmLayout* layout);
// Appends the next decoded stretch as stereo float; false at the end.
bool SbMfNext(SbMfReader* reader, std::vector<float>& out);
bool SbMfRewind(SbMfReader* reader);
// The file's length as the media source gives it, in 100-nanosecond units; 0
// when it does not.
unsigned long long SbMfLengthHns(SbMfReader* reader);
void SbMfClose(SbMfReader* reader);
// Shuts Media Foundation down and unloads it, once every reader is closed.
void SbMfUnload();

#endif
