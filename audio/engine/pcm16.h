// The engine mixes in float; the outputs of its own hand the system 16-bit
// PCM, which every DirectSound and WinMM driver since Windows 95 takes.
#ifndef SONABELL_AUDIO_ENGINE_PCM16_H
#define SONABELL_AUDIO_ENGINE_PCM16_H

#include <stddef.h>

// count samples, clipped to 16 bits; NaN becomes silence.
inline void SbFloatToS16(const float* in, short* out, size_t count) {
    for (size_t n = 0; n < count; ++n) {
        float v = in[n] * 32768.0f;
        out[n] = static_cast<short>(!(v == v)        ? 0
                                    : v >= 32767.0f  ? 32767
                                    : v <= -32768.0f ? -32768
                                                     : v);
    }
}

#endif
