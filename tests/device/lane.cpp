#include "lane.h"

#include "tests/audio/pcm_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace lane {

namespace {

// Unix paths of this tree's lane, compiled in; Wine sees them under Z:.
std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

int64_t NowNs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<int64_t>(static_cast<double>(t.QuadPart) * 1e9 /
                                static_cast<double>(frequency.QuadPart));
}

Monitor::Monitor() {
    path_ = WindowsPath(std::string(SB_PULSE_DIR) + "/monitor.rec");
    if (GetFileAttributesA(path_.c_str()) == INVALID_FILE_ATTRIBUTES)
        path_.clear();
}

uint64_t Monitor::Walk(uint64_t offset, Heard* heard) {
    FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f)
        return offset;
    uint64_t end = FileSize(path_);
    std::vector<unsigned char> data;
    while (offset + 12 <= end) {
        if (_fseeki64(f, static_cast<long long>(offset), SEEK_SET) != 0)
            break;
        unsigned char head[12];
        if (std::fread(head, 1, sizeof head, f) != sizeof head)
            break;
        int64_t ns;
        uint32_t bytes;
        std::memcpy(&ns, head, 8);
        std::memcpy(&bytes, head + 8, 4);
        if (offset + 12 + bytes > end)
            break; // still being written
        if (heard) {
            data.resize(bytes);
            if (std::fread(data.data(), 1, bytes, f) != bytes)
                break;
            size_t frames = bytes / 4;
            for (size_t i = 0; i < frames; ++i) {
                for (int c = 0; c < 2; ++c) {
                    auto v =
                        static_cast<int16_t>(data[4 * i + 2 * c] | (data[4 * i + 2 * c + 1] << 8));
                    heard->samples.push_back(static_cast<float>(v) / 32768.0f);
                }
                // The reading came in when its last frame had been played.
                heard->frameNs.push_back(ns - static_cast<int64_t>(frames - 1 - i) * 1000000000 /
                                                  kSinkRate);
            }
        }
        offset += 12 + bytes;
    }
    std::fclose(f);
    return offset;
}

void Monitor::Mark() {
    if (!path_.empty())
        mark_ = Walk(mark_, nullptr);
}

Heard Monitor::Since() {
    Heard heard;
    if (!path_.empty())
        Walk(mark_, &heard);
    return heard;
}

Heard Monitor::SinceUntil(int64_t untilNs, DWORD maxMs) {
    DWORD start = GetTickCount();
    for (;;) {
        Heard heard = Since();
        if ((!heard.frameNs.empty() && heard.frameNs.back() >= untilNs) ||
            GetTickCount() - start >= maxMs)
            return heard;
        Sleep(20);
    }
}

size_t FirstLoudFrame(const Heard& h, float level, size_t from) {
    for (size_t i = from; i < h.frames(); ++i)
        if (std::fabs(h.samples[2 * i]) > level || std::fabs(h.samples[2 * i + 1]) > level)
            return i;
    return h.frames();
}

size_t LastLoudFrame(const Heard& h, float level) {
    for (size_t i = h.frames(); i-- > 0;)
        if (std::fabs(h.samples[2 * i]) > level || std::fabs(h.samples[2 * i + 1]) > level)
            return i;
    return h.frames();
}

double Rms(const Heard& h, size_t from, size_t to) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < to && i < h.frames(); ++i, ++n)
        sum += h.samples[2 * i] * h.samples[2 * i] + h.samples[2 * i + 1] * h.samples[2 * i + 1];
    return n ? std::sqrt(sum / (2.0 * static_cast<double>(n))) : 0.0;
}

double PeakOf(const Heard& h, size_t from, size_t to) {
    double peak = 0;
    for (size_t i = 2 * from; i < 2 * to && i < h.samples.size(); ++i)
        peak = std::fmax(peak, std::fabs(h.samples[i]));
    return peak;
}

double Frequency(const Heard& h, size_t from, size_t to) {
    // Small rises are noise around silence, not the tone's own crossings.
    return pcm::MedianPitchHz(h.samples.data(), h.frames(), from, to, kSinkRate, 0.02f);
}

double ToneLevel(const Heard& h, size_t from, size_t to, double hz) {
    to = std::min(to, h.frames());
    if (to <= from + 1)
        return 0;
    const double pi = 3.14159265358979323846;
    const double n = static_cast<double>(to - from);
    double re = 0, im = 0, weights = 0;
    for (size_t i = from; i < to; ++i) {
        const double k = static_cast<double>(i - from);
        const double w = 0.5 - 0.5 * std::cos(2 * pi * k / (n - 1));
        const double phase = 2 * pi * hz * k / kSinkRate;
        re += w * h.samples[2 * i] * std::cos(phase);
        im -= w * h.samples[2 * i] * std::sin(phase);
        weights += w;
    }
    return 2 * std::sqrt(re * re + im * im) / weights;
}

Gaps FindGaps(const Heard& h, size_t from, size_t to, double minMs) {
    // A tone near full scale passes through zero for a sample or two; a run
    // of near-silence longer than minMs is audio that never arrived.
    const float quiet = 0.01f;
    const size_t minRun = static_cast<size_t>(minMs * kSinkRate / 1000.0);
    Gaps gaps;
    size_t run = 0;
    for (size_t i = from; i < to && i < h.frames(); ++i) {
        bool silent =
            std::fabs(h.samples[2 * i]) < quiet && std::fabs(h.samples[2 * i + 1]) < quiet;
        if (silent) {
            ++run;
            continue;
        }
        if (run > minRun) {
            ++gaps.count;
            gaps.totalMs += 1000.0 * static_cast<double>(run) / kSinkRate;
        }
        run = 0;
    }
    return gaps;
}

Arrival Listen(Monitor& monitor, DWORD listenMs, const std::function<bool()>& play) {
    monitor.Mark();
    int64_t called = NowNs();
    bool playing = play();
    // Waits past the window for what the sink had not handed over yet.
    Heard h = monitor.SinceUntil(called + int64_t{listenMs} * 1'000'000, listenMs + 4000);
    Arrival arrival;
    size_t first = FirstLoudFrame(h, 0.05f), last = LastLoudFrame(h, 0.05f);
    if (first >= h.frames())
        return arrival;
    arrival.heard = true;
    if (playing)
        arrival.delayMs = static_cast<double>(h.frameNs[first] - called) / 1e6;
    arrival.gaps = FindGaps(h, first, last, 1.0);
    return arrival;
}

double LongestStallMs(const Heard& h) {
    // How far the stamps run behind the frames' own time, against the least
    // they did before: the part of it caught up later is the stall.
    double least = 0, longest = 0;
    for (size_t i = 0; i < h.frames(); ++i) {
        double behind = 1000.0 * static_cast<double>(i) / kSinkRate -
                        static_cast<double>(h.frameNs[i] - h.frameNs[0]) / 1e6;
        least = std::min(least, behind);
        longest = std::max(longest, behind - least);
    }
    return longest;
}

namespace {

// Runs pulse-world.sh <what> for this tree; what it wrote to its marker, or
// why there was no word from it (*said false).
std::string RunWorld(const char* what, bool* said) {
    *said = false;
    static int serial = 0;
    std::string marker = std::string(SB_PULSE_DIR) + "/fault-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    std::string command = "/bin/bash " + std::string(SB_PULSE_SCRIPT) + " " + what + " " +
                          SB_BUILD_DIR + " " + marker;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    // Wine starts a Unix program for a path to one; the handle it returns
    // does not follow it, so the script's marker file tells when it is done
    // and how it went.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return "pulse-world.sh could not be started";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string done = WindowsPath(marker);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 15000; Sleep(10)) {
        if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) {
            std::string text = FileBytes(done);
            DeleteFileA(done.c_str());
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            *said = !text.empty();
            return *said ? text : "no word from pulse-world.sh";
        }
    }
    return "pulse-world.sh did not finish within 15 s";
}

} // namespace

std::string Fault(const char* what) {
    bool said;
    std::string text = RunWorld(what, &said);
    return said && text == "ok" ? "" : text;
}

std::string Streams(int* running, int* corked) {
    bool said;
    std::string text = RunWorld("streams", &said);
    if (said && std::sscanf(text.c_str(), "streams %d %d", running, corked) == 2)
        return "";
    return text;
}

std::string FileBytes(const std::string& path) {
    std::string bytes;
    pcm::ReadFile(path, bytes);
    return bytes;
}

std::string MediaBytes(const std::string& name) {
    return FileBytes(std::string(SB_TEST_MEDIA) + "/" + name);
}

} // namespace lane
