// Compares decoded audio with a reference decode made by another decoder,
// which may start at a different offset (an MP3 decoder that keeps the
// encoder's delay or its info frame, a capture that starts before the sound).
#ifndef SONABELL_TESTS_AUDIO_PCM_COMPARE_H
#define SONABELL_TESTS_AUDIO_PCM_COMPARE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pcm {

// Interleaved stereo, full scale 1.0.
using Frames = std::vector<float>;

inline bool ReadFile(const std::string& path, std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    bytes.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    std::fclose(f);
    return true;
}

// 16-bit signed little-endian samples.
inline Frames FromS16(const std::string& bytes, size_t offset = 0) {
    Frames out;
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) {
        auto v = static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                      (static_cast<uint8_t>(bytes[i + 1]) << 8));
        out.push_back(static_cast<float>(v) / 32768.0f);
    }
    if (out.size() % 2)
        out.pop_back();
    return out;
}

inline size_t FrameCount(const Frames& f) {
    return f.size() / 2;
}

inline size_t FirstLoudFrame(const Frames& f, float level) {
    for (size_t i = 0; i < FrameCount(f); ++i)
        if (std::fabs(f[2 * i]) > level || std::fabs(f[2 * i + 1]) > level)
            return i;
    return FrameCount(f);
}

// Frames whose either channel exceeds level, counted from the first to the last.
inline size_t LoudSpan(const Frames& f, float level) {
    size_t first = FirstLoudFrame(f, level), last = first;
    for (size_t i = first; i < FrameCount(f); ++i)
        if (std::fabs(f[2 * i]) > level || std::fabs(f[2 * i + 1]) > level)
            last = i;
    return first == FrameCount(f) ? 0 : last - first + 1;
}

struct Match {
    long lag = -1;        // where the reference starts in the decode
    double snrDb = 0;     // over the whole reference
    double tailRms = 1.0; // of the decode after the reference ends (0.1 s)
};

// Finds the lag that best lines the reference up, near where their first loud
// frames suggest, and measures how far the decode is from it.
inline Match Compare(const Frames& got, const Frames& ref) {
    Match m;
    size_t refFrames = FrameCount(ref), gotFrames = FrameCount(got);
    size_t r0 = FirstLoudFrame(ref, 0.05f), g0 = FirstLoudFrame(got, 0.05f);
    if (r0 == refFrames || g0 == gotFrames)
        return m;
    const long guess = static_cast<long>(g0) - static_cast<long>(r0);
    const size_t window = 4096;
    double best = 1e300;
    for (long lag = guess - 3000; lag <= guess + 3000; ++lag) {
        if (lag < 0)
            continue;
        double err = 0;
        for (size_t i = r0; i < r0 + window && i < refFrames && i + lag < gotFrames && err < best;
             ++i)
            for (int c = 0; c < 2; ++c) {
                double d = got[2 * (i + lag) + c] - ref[2 * i + c];
                err += d * d;
            }
        if (err < best) {
            best = err;
            m.lag = lag;
        }
    }
    if (m.lag < 0)
        return m;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < refFrames; ++i)
        for (int c = 0; c < 2; ++c) {
            size_t j = 2 * (i + m.lag) + c;
            double g = j < got.size() ? got[j] : 0.0;
            signal += ref[2 * i + c] * ref[2 * i + c];
            noise += (g - ref[2 * i + c]) * (g - ref[2 * i + c]);
        }
    m.snrDb = noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
    double tail = 0;
    size_t n = 0;
    for (size_t i = m.lag + refFrames; i < m.lag + refFrames + 4410 && i < gotFrames; ++i, ++n)
        tail += got[2 * i] * got[2 * i] + got[2 * i + 1] * got[2 * i + 1];
    m.tailRms = n ? std::sqrt(tail / (2.0 * n)) : 0.0;
    return m;
}

// The files every test decodes, each with its reference <name>.ref.raw.
inline const std::vector<std::string>& DecodableClips() {
    static const std::vector<std::string> clips = {
        "clip.wav",      "clip-float.wav", "clip-ima.wav", "clip-ms.wav", "clip.mp3",
        "clip.mp2",      "clip.ogg",       "clip.flac",    "clip.raw",    "mp3-named.wav",
        "ogg-named.raw", "clip.aiff",      "clip.aifc"};
    return clips;
}

// The pitch of interleaved stereo frames [from, to) of `frames`: the median
// spacing of the left channel's upward zero crossings. A gap in the sound
// shifts the count of crossings, not their spacing. Crossings whose rise is
// not above minRise (noise around silence) are not counted. 0 when fewer
// than two crossings were found.
inline double MedianPitchHz(const float* samples, size_t frames, size_t from, size_t to,
                            double rate, float minRise = 0) {
    std::vector<double> periods;
    double previous = -1;
    for (size_t i = from + 1; i < to && i < frames; ++i) {
        float a = samples[2 * i - 2], b = samples[2 * i];
        if (a < 0 && b >= 0 && b - a > minRise) {
            double at = static_cast<double>(i - 1) + a / (a - b); // between the two samples
            if (previous >= 0)
                periods.push_back(at - previous);
            previous = at;
        }
    }
    if (periods.empty())
        return 0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return rate / periods[periods.size() / 2];
}

} // namespace pcm

#endif
