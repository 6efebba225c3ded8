#include "audio/engine/codec_pcm.h"

#include <cstring>

namespace {

float Sample(const SbPcmLayout& layout, const unsigned char* p) {
    if (layout.isFloat) {
        if (layout.bits == 64) {
            double d;
            std::memcpy(&d, p, sizeof d);
            return static_cast<float>(d);
        }
        float f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    switch (layout.bits) {
    case 8:
        return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    case 16:
        return static_cast<float>(static_cast<short>(p[0] | p[1] << 8)) / 32768.0f;
    case 24:
        return static_cast<float>(static_cast<int>(static_cast<unsigned>(p[0]) << 8 |
                                                   static_cast<unsigned>(p[1]) << 16 |
                                                   static_cast<unsigned>(p[2]) << 24)) /
               2147483648.0f;
    default:
        return static_cast<float>(static_cast<int>(
                   static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8 |
                   static_cast<unsigned>(p[2]) << 16 | static_cast<unsigned>(p[3]) << 24)) /
               2147483648.0f;
    }
}

} // namespace

bool SbPcmLayoutUsable(const SbPcmLayout& layout) {
    bool bitsOk = layout.isFloat ? (layout.bits == 32 || layout.bits == 64)
                                 : (layout.bits == 8 || layout.bits == 16 || layout.bits == 24 ||
                                    layout.bits == 32);
    return bitsOk && layout.channels >= 1 && layout.channels <= 32 && layout.rate >= 1000 &&
           layout.rate <= 384000;
}

void SbPcmAppendStereo(const SbPcmLayout& layout, const void* bytes, size_t size,
                       std::vector<float>& out) {
    const size_t sampleBytes = layout.bits / 8;
    const size_t frameBytes = sampleBytes * layout.channels;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t at = 0; at + frameBytes <= size; at += frameBytes) {
        float left = Sample(layout, p + at);
        float right = layout.channels > 1 ? Sample(layout, p + at + sampleBytes) : left;
        out.push_back(left);
        out.push_back(right);
    }
}
