#include "audio/engine/heap_meter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Each block carries its size in front, padded to keep malloc's alignment.
constexpr size_t kHeader = 16;
// Streaming never needs a block this large; a request for one comes from a
// header that lies about its sizes, and is refused rather than attempted.
constexpr size_t kMaxBlock = size_t{64} << 20;

std::atomic<size_t> currentBytes{0};
std::atomic<size_t> peakBytes{0};

void Add(size_t n) {
    size_t now = currentBytes.fetch_add(n) + n;
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

size_t SizeOf(void* block) {
    size_t n;
    std::memcpy(&n, static_cast<char*>(block) - kHeader, sizeof n);
    return n;
}

} // namespace

extern "C" void* SbMeterMalloc(size_t size) {
    if (size > kMaxBlock)
        return nullptr;
    char* raw = static_cast<char*>(std::malloc(size + kHeader));
    if (!raw)
        return nullptr;
    std::memcpy(raw, &size, sizeof size);
    Add(size);
    return raw + kHeader;
}

extern "C" void* SbMeterMallocZeroed(size_t size) {
    void* block = SbMeterMalloc(size);
    if (block)
        std::memset(block, 0, size);
    return block;
}

extern "C" void SbMeterFree(void* block) {
    if (!block)
        return;
    currentBytes.fetch_sub(SizeOf(block));
    std::free(static_cast<char*>(block) - kHeader);
}

extern "C" void* SbMeterRealloc(void* block, size_t size) {
    if (!block)
        return SbMeterMalloc(size);
    if (size == 0) {
        SbMeterFree(block);
        return nullptr;
    }
    if (size > kMaxBlock)
        return nullptr;
    size_t old = SizeOf(block);
    char* raw =
        static_cast<char*>(std::realloc(static_cast<char*>(block) - kHeader, size + kHeader));
    if (!raw)
        return nullptr;
    std::memcpy(raw, &size, sizeof size);
    currentBytes.fetch_sub(old);
    Add(size);
    return raw + kHeader;
}

extern "C" size_t SbMeterCurrentBytes(void) {
    return currentBytes.load();
}
extern "C" size_t SbMeterPeakBytes(void) {
    return peakBytes.load();
}
extern "C" void SbMeterResetPeak(void) {
    peakBytes.store(currentBytes.load());
}
