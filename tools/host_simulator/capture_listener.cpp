#include "capture_listener.h"

#include <cstdint>
#include <vector>

namespace {

// The engine's capture: a 44-byte WAV header, then 16-bit stereo frames.
constexpr unsigned long long kHeaderBytes = 44;
constexpr unsigned kFrameBytes = 4;
// About -40 dBFS: far above dither, far below any sound of a pack.
constexpr int kAudible = 328;

struct File {
    HANDLE handle;
    explicit File(const std::string& path)
        : handle(CreateFileA(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~File() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return handle != INVALID_HANDLE_VALUE; }
    unsigned long long size() const {
        LARGE_INTEGER s;
        return GetFileSizeEx(handle, &s) ? static_cast<unsigned long long>(s.QuadPart) : 0;
    }
    bool Read(unsigned long long at, std::vector<unsigned char>& out, size_t bytes) const {
        out.resize(bytes);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(handle, out.data(), static_cast<DWORD>(bytes), &got, &where))
            return false;
        out.resize(got);
        return true;
    }
};

unsigned SampleRate(const File& file) {
    std::vector<unsigned char> header;
    if (!file.Read(0, header, kHeaderBytes) || header.size() < kHeaderBytes)
        return 0;
    return header[24] | header[25] << 8 | header[26] << 16 |
           static_cast<unsigned>(header[27]) << 24;
}

} // namespace

unsigned long long CaptureListener::Mark() const {
    File file(path_);
    return file.ok() ? file.size() : 0;
}

bool CaptureListener::HeardSince(unsigned long long mark, DWORD timeoutMs,
                                 void (*pump)(DWORD)) const {
    const DWORD start = GetTickCount();
    unsigned long long at = 0;
    std::vector<unsigned char> bytes;
    for (;;) {
        {
            File file(path_);
            const unsigned rate = file.ok() ? SampleRate(file) : 0;
            if (rate != 0) {
                if (at == 0) {
                    const unsigned long long from = mark > kHeaderBytes ? mark : kHeaderBytes;
                    at = from - (from - kHeaderBytes) % kFrameBytes + rate / 20 * kFrameBytes;
                }
                const unsigned long long end = file.size();
                while (at + kFrameBytes <= end) {
                    size_t want = static_cast<size_t>(end - at < 65536 ? end - at : 65536);
                    want -= want % kFrameBytes;
                    if (!file.Read(at, bytes, want) || bytes.size() < kFrameBytes)
                        break;
                    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                        const int sample = static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8);
                        if (sample >= kAudible || sample <= -kAudible)
                            return true;
                    }
                    at += bytes.size() - bytes.size() % kFrameBytes;
                }
            }
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        pump(20);
    }
}
