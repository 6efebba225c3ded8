#include "hardening_support.h"

#include "clean_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace testing_support {

GuardedPage::GuardedPage() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<char*>(
        VirtualAlloc(nullptr, page_ * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (!base_ || !VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old))
        ADD_FAILURE() << "no guard page: " << GetLastError();
}

GuardedPage::~GuardedPage() {
    if (base_)
        VirtualFree(base_, 0, MEM_RELEASE);
}

const char* GuardedPage::PlaceAtEnd(const std::string& bytes) {
    std::memset(base_, 'Q', page_);
    char* at = base_ + page_ - bytes.size();
    std::memcpy(at, bytes.data(), bytes.size());
    return at;
}

std::string WavBytes(int milliseconds) {
    const unsigned rate = 8000, channels = 1, bits = 16;
    const unsigned data = rate * channels * bits / 8 * static_cast<unsigned>(milliseconds) / 1000;
    std::string out;
    auto put32 = [&](unsigned v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto put16 = [&](unsigned v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    out += "RIFF";
    put32(36 + data);
    out += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(channels);
    put32(rate);
    put32(rate * channels * bits / 8);
    put16(channels * bits / 8);
    put16(bits);
    out += "data";
    put32(data);
    out.append(data, '\0');
    return out;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::string out(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x & 0xFF);
    }
    return out;
}

} // namespace testing_support
