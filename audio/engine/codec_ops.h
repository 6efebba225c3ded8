// The one shape of a reader through the system's codecs, whichever runtime
// it drives: the codec thread (codec_worker.cpp) knows them only through
// this table. Every call happens on that thread, where COM is initialised.
#ifndef SONABELL_AUDIO_ENGINE_CODEC_OPS_H
#define SONABELL_AUDIO_ENGINE_CODEC_OPS_H

#include <vector>

#include "audio/engine/codec_pcm.h"

struct SbCodecOps {
    // Loads the runtime at first need. Null when it is missing or cannot
    // read the file's audio.
    void* (*open)(const wchar_t* path, SbPcmLayout* layout);
    // Appends the next decoded stretch as stereo float; false at the end.
    bool (*next)(void* reader, std::vector<float>& out);
    bool (*rewind)(void* reader);
    // The file's length as the runtime gives it, in 100-nanosecond units; 0
    // when it does not.
    unsigned long long (*lengthHns)(void* reader);
    void (*close)(void* reader);
    // Lets the runtime go, once every reader is closed.
    void (*unload)();
};

#endif
