// Decoded audio as the system's codecs hand it over (integer PCM of 8 to 32
// bits, or float, any channel count), turned into the engine's stereo float.
#ifndef SONABELL_AUDIO_ENGINE_CODEC_PCM_H
#define SONABELL_AUDIO_ENGINE_CODEC_PCM_H

#include <stddef.h>

#include <vector>

struct SbPcmLayout {
    unsigned rate;
    unsigned channels;
    unsigned bits;
    bool isFloat;
};

// Whether the engine can take this layout at all.
bool SbPcmLayoutUsable(const SbPcmLayout& layout);
// Appends the whole frames of bytes to out as interleaved stereo: mono is
// heard on both sides, beyond two channels the first two are kept.
void SbPcmAppendStereo(const SbPcmLayout& layout, const void* bytes, size_t size,
                       std::vector<float>& out);

#endif
