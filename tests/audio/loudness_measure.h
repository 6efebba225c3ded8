// The tests' own loudness reference: libebur128 run on what was heard, never
// the engine's measure of the file it played.
#ifndef SONABELL_TESTS_LOUDNESS_MEASURE_H
#define SONABELL_TESTS_LOUDNESS_MEASURE_H

#include <cmath>
#include <cstddef>

#include "ebur128.h"

namespace pcm {

// BS.1770 loudness of `frames` interleaved stereo frames: gated over 400 ms
// blocks, or over the whole stretch when it is shorter than one.
inline double Lufs(const float* stereo, size_t frames, double rate) {
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_I);
    ebur128_add_frames_float(st, stereo, frames);
    double lufs = -HUGE_VAL;
    if (frames < rate * 0.4)
        ebur128_loudness_window(st, static_cast<unsigned long>(frames * 1000 / rate), &lufs);
    else
        ebur128_loudness_global(st, &lufs);
    ebur128_destroy(&st);
    return lufs;
}

} // namespace pcm

#endif
