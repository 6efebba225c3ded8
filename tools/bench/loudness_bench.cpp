// What evening out the loudness costs: measuring files of each length, the
// delay it adds to a file's first play (measured then) and to its second
// (found measured), and how often the test media's first play missed its
// wait for the measurement.
#include "tools/bench/loudness_bench.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/engine/loudness.h"
#include "audio/engine/loudness_worker.h"
#include "audio/engine_controls.h"
#include "audio/fsound.h"
#include "tools/bench/bench_common.h"

namespace {

constexpr int kRuns = 7;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

double MeasureMs(const std::string& path) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        SbLoudness measured;
        double t0 = NowMs();
        bool ok = SbLoudnessMeasure(path.c_str(), nullptr, &measured);
        times.push_back(ok ? NowMs() - t0 : -1);
    }
    return Median(times);
}

// A copy under a name of its own, so its first play is a first measurement.
std::string FreshCopy(const std::string& path, int n) {
    std::string copy = path + ".even" + std::to_string(n) + ".mp3";
    CopyFileA(path.c_str(), copy.c_str(), FALSE);
    return copy;
}

double OpenAndPlayMs(const std::string& path) {
    double t0 = NowMs();
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
    int played = s ? FSOUND_Stream_Play(FSOUND_FREE, s) : 0;
    double ms = NowMs() - t0;
    Sleep(30);
    FSOUND_Stream_Close(s);
    return played ? ms : -1;
}

} // namespace

void BenchLoudness(const std::string& mediaDir) {
    const char* measured[] = {"bench-2s.mp3", "bench-10s.mp3", "bench-60s.mp3",
                              "bench-2s.ogg", "bench-10s.ogg", "bench-60s.ogg"};
    double measureMs[6];
    for (int i = 0; i < 6; ++i)
        measureMs[i] = MeasureMs(mediaDir + "/" + measured[i]);

    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "silent");
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    if (!FSOUND_Init(44100, 32, FSOUND_INIT_GLOBALFOCUS))
        return;
    const std::string tenSeconds = mediaDir + "/bench-10s.mp3";
    std::vector<double> off, first, second, lookup;
    for (int i = 0; i < kRuns; ++i) {
        std::string copy = FreshCopy(tenSeconds, i);
        SbEngineSetEvenLoudness(false);
        off.push_back(OpenAndPlayMs(copy));
        SbEngineSetEvenLoudness(true);
        first.push_back(OpenAndPlayMs(copy));
        second.push_back(OpenAndPlayMs(copy));
        double t0 = NowMs();
        for (int j = 0; j < 100; ++j)
            SbLoudnessGainFor(copy.c_str(), 0);
        lookup.push_back((NowMs() - t0) * 10.0);
        DeleteFileA(copy.c_str());
    }
    // The test media, each played for the first time.
    const char* media[] = {"clip.mp3",           "clip.ogg",        "clip.wav",
                           "clip.flac",          "even-speech.wav", "even-noise.wav",
                           "even-tone-loud.wav", "even-blip.wav",   "even-long.mp3",
                           "long-440.mp3",       "tone-1k.mp3",     "sweep-rising.wav"};
    long misses0 = SbLoudnessMisses();
    for (const char* name : media)
        OpenAndPlayMs(mediaDir + "/" + name);
    long misses = SbLoudnessMisses() - misses0;
    SbEngineSetEvenLoudness(false);
    FSOUND_Close();

    const char* labels[] = {"measuring loudness, 2 s MP3",
                            "measuring loudness, 10 s MP3",
                            "measuring loudness, 60 s MP3 (its first 10 s)",
                            "measuring loudness, 2 s OGG",
                            "measuring loudness, 10 s OGG",
                            "measuring loudness, 60 s OGG (its first 10 s)"};
    for (int i = 0; i < 6; ++i)
        BenchRow(kPlaceLoudness + i, labels[i], measureMs[i], "ms");
    BenchRow(kPlaceLoudness + 6, "open + start, 10 s MP3, evening off", Median(off), "ms");
    BenchRow(kPlaceLoudness + 7, "  delay evening adds, first play (measured then)",
             Median(first) - Median(off), "ms");
    BenchRow(kPlaceLoudness + 8, "  delay evening adds, second play (measured before)",
             Median(second) - Median(off), "ms");
    BenchRow(kPlaceLoudness + 10, "  of which finding the measurement (the file's size and time)",
             Median(lookup), "us");
    char label[96];
    std::snprintf(label, sizeof label, "first plays that missed the measurement's wait, of %d",
                  static_cast<int>(sizeof media / sizeof media[0]));
    BenchRow(kPlaceLoudness + 11, label, static_cast<double>(misses), "");
}
