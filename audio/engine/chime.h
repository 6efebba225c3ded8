// The engine's own test sound: a short two-note bell, synthesised at any
// mixing rate, so a listener can hear the output work without any file.
// Portable, like the decoders.
#ifndef SONABELL_AUDIO_ENGINE_CHIME_H
#define SONABELL_AUDIO_ENGINE_CHIME_H

#include <stddef.h>

// Its length in seconds.
constexpr double kChimeSeconds = 0.7;

struct SbChime {
    unsigned rate = 0;
    size_t position = 0; // frames rendered so far
};

// Starts the chime over at the given rate.
void SbChimeStart(SbChime* chime, unsigned rate);
// Writes up to frameCount interleaved stereo float frames; fewer only at the
// end. Peaks stay near half of full scale.
size_t SbChimeRender(SbChime* chime, float* out, size_t frameCount);

#endif
