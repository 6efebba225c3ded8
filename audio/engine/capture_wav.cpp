#include "audio/engine/capture_wav.h"

#include <cstdio>
#include <cstdint>
#include <new>

struct SbCapture {
    FILE* file = nullptr;
    uint32_t dataBytes = 0;
};

namespace {

constexpr uint32_t kHeaderBytes = 44;
// Leaves room below 4 GiB for the RIFF size field.
constexpr uint32_t kMaxData = 0xFFFFFFFFu - kHeaderBytes;

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

bool WriteSizes(SbCapture* c) {
    unsigned char field[4];
    Put32(field, c->dataBytes + kHeaderBytes - 8);
    if (std::fseek(c->file, 4, SEEK_SET) != 0 || std::fwrite(field, 1, 4, c->file) != 4)
        return false;
    Put32(field, c->dataBytes);
    if (std::fseek(c->file, 40, SEEK_SET) != 0 || std::fwrite(field, 1, 4, c->file) != 4)
        return false;
    return std::fseek(c->file, 0, SEEK_END) == 0 && std::fflush(c->file) == 0;
}

} // namespace

SbCapture* SbCaptureOpen(const char* path, unsigned rate) {
    if (!path || !*path)
        return nullptr;
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return nullptr;
    unsigned char h[kHeaderBytes] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                     'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    Put16(h + 20, 1); // PCM
    Put16(h + 22, 2);
    Put32(h + 24, rate);
    Put32(h + 28, rate * 4);
    Put16(h + 32, 4);
    Put16(h + 34, 16);
    h[36] = 'd', h[37] = 'a', h[38] = 't', h[39] = 'a';
    SbCapture* c = new (std::nothrow) SbCapture;
    if (!c || std::fwrite(h, 1, sizeof h, file) != sizeof h) {
        delete c;
        std::fclose(file);
        return nullptr;
    }
    c->file = file;
    if (!WriteSizes(c)) {
        SbCaptureClose(c);
        return nullptr;
    }
    return c;
}

void SbCaptureWrite(SbCapture* c, const float* frames, size_t frameCount) {
    unsigned char block[4096];
    size_t i = 0;
    size_t samples = frameCount * 2;
    while (i < samples && c->dataBytes <= kMaxData - sizeof block) {
        size_t n = 0;
        for (; n < sizeof block && i < samples; n += 2, ++i) {
            float v = frames[i] * 32768.0f;
            int s = !(v == v)        ? 0
                    : v >= 32767.0f  ? 32767
                    : v <= -32768.0f ? -32768
                                     : static_cast<int>(v);
            Put16(block + n, static_cast<uint32_t>(s) & 0xFFFF);
        }
        if (std::fwrite(block, 1, n, c->file) != n)
            return;
        c->dataBytes += static_cast<uint32_t>(n);
    }
    WriteSizes(c);
}

void SbCaptureClose(SbCapture* c) {
    if (!c)
        return;
    WriteSizes(c);
    std::fclose(c->file);
    delete c;
}
