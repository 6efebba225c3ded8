// The engine's codec thread: every call into the system's codecs (the
// Windows Media Format runtime for ASF, Media Foundation for MP4) happens on
// it, with COM initialised there, never on the host's thread nor on the
// thread that keeps the device's ring filled. It decodes ahead of each
// stream into a buffer of its own, which the stream's reads take from
// without waiting; a stalled codec is heard as silence, then as the end.
#ifndef SONABELL_AUDIO_ENGINE_CODEC_WORKER_H
#define SONABELL_AUDIO_ENGINE_CODEC_WORKER_H

#include "audio/engine/stream_source.h"

// Opens an ASF or MP4 file on the codec thread and waits for it at most
// waitMs. Null when no codec reads it, or when the open was not finished in
// time: its result is then discarded when it comes.
SbSource* SbCodecOpen(const char* path, SbContainer kind, unsigned long waitMs);
// Ends the codec thread once its streams are closed (the engine's stop),
// unloading the codecs; waits for it at most waitMs.
void SbCodecStop(unsigned long waitMs);
// The module's unload, with no thread of ours left: the lock and events go.
void SbCodecUnload();

#endif
