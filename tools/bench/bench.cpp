// Measures the stream engine under Wine: how fast a stream starts, how soon
// its first frames are mixed, what decoding costs next to the mpg123 tool,
// and how much heap streaming a long file takes. Prints its rows of the
// bench table.
//   sonabell-bench <media dir> <mpg123 CPU ms for bench-60s.mp3>
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/engine/engine_probe.h"
#include "audio/engine/heap_meter.h"
#include "audio/engine/mixer.h"
#include "audio/engine_controls.h"
#include "audio/engine/stream_source.h"
#include "audio/fsound.h"
#include "tools/bench/bench_common.h"
#include "tools/bench/idle_fault_bench.h"

namespace {

constexpr int kRuns = 9;
std::string mediaDir;

std::string Media(const char* name) {
    return mediaDir + "/" + name;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](FILETIME f) {
        return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime) /
               1e4;
    };
    return ms(kernel) + ms(user);
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

struct StartFigures {
    double openStartMs;
    double firstMixMs;
};

StartFigures MeasureStart(const char* file) {
    std::vector<double> openStart, firstMix;
    std::string path = Media(file);
    for (int i = 0; i < kRuns; ++i) {
        double t0 = NowMs();
        FSOUND_STREAM* s = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
        int channel = s ? FSOUND_Stream_Play(FSOUND_FREE, s) : 0;
        double t1 = NowMs();
        if (!channel) {
            std::fprintf(stderr, "could not start %s\n", file);
            FSOUND_Stream_Close(s);
            return {-1, -1};
        }
        openStart.push_back(t1 - t0);
        double delay = -1;
        for (int wait = 0; wait < 1000 && (delay = SbEngineFirstMixDelayMs()) < 0; ++wait)
            Sleep(1);
        firstMix.push_back(delay);
        FSOUND_Stream_Close(s);
        Sleep(30);
    }
    return {Median(openStart), Median(firstMix)};
}

// Decodes a whole file as the engine would feed the device; wall and CPU ms.
void DecodeWhole(const char* file, double* wallMs, double* cpuMs, size_t* peakHeap) {
    size_t base = SbMeterCurrentBytes();
    SbMeterResetPeak();
    double w0 = NowMs(), c0 = ThreadCpuMs();
    SbSource* s = SbSourceOpenFile(Media(file).c_str());
    if (!s) {
        *wallMs = *cpuMs = -1;
        *peakHeap = 0;
        return;
    }
    SbSourceSetOutputRate(s, SbSourceNativeRate(s));
    static float block[2 * 1024];
    while (SbSourceRead(s, block, 1024) > 0) {
    }
    SbSourceClose(s);
    *wallMs = NowMs() - w0;
    *cpuMs = ThreadCpuMs() - c0;
    *peakHeap = SbMeterPeakBytes() - base;
}

// The mixing path alone, as the device's callback runs it: one 10 ms period
// copied out of the decode-ahead ring at full volume, at another volume, and
// with a second sound waiting in the line. Median microseconds of 2,000.
struct MixFigures {
    double full = -1;
    double scaled = -1;
    double queued = -1;
};

MixFigures MeasureMixing() {
    MixFigures figures;
    const unsigned rate = 44100, session = 0x5B;
    const size_t period = rate / 100;
    static float out[2 * 441];
    int token = 0;
    auto measure = [&](int volume, bool queue) {
        SbMixerStart(rate, session, nullptr, nullptr);
        SbMixerAttach(&token, session);
        SbEngineSetVolume(volume);
        FSOUND_STREAM* a = FSOUND_Stream_OpenFile(Media("bench-60s.mp3").c_str(), 0, 0);
        FSOUND_STREAM* b = FSOUND_Stream_OpenFile(Media("clip.mp3").c_str(), 0, 0);
        SbMixerPlay(a);
        if (queue)
            SbMixerQueue(b, 3);
        std::vector<double> times;
        for (int i = 0; i < 2000; ++i) {
            SbMixerDecodeAhead(); // the engine's thread, outside the timing
            double t0 = NowMs();
            SbMixerRender(&token, out, period);
            times.push_back((NowMs() - t0) * 1000.0);
        }
        FSOUND_Stream_Close(a);
        FSOUND_Stream_Close(b);
        SbMixerStop();
        SbEngineSetVolume(100);
        return Median(times);
    };
    figures.full = measure(100, false);
    figures.scaled = measure(60, false);
    figures.queued = measure(60, true);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sonabell-bench <media dir> <mpg123 CPU ms>\n");
        return 2;
    }
    mediaDir = argv[1];
    double mpg123Ms = std::atof(argv[2]);

    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "silent");
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    if (!FSOUND_Init(44100, 32, FSOUND_INIT_GLOBALFOCUS)) {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    StartFigures mp3 = MeasureStart("clip.mp3");
    StartFigures ogg = MeasureStart("clip.ogg");
    StartFigures wav = MeasureStart("clip.wav");

    std::vector<double> wall, cpu;
    size_t peak = 0;
    for (int i = 0; i < 5; ++i) {
        double w, c;
        DecodeWhole("bench-60s.mp3", &w, &c, &peak);
        wall.push_back(w);
        cpu.push_back(c);
    }
    double decodeWall = Median(wall), decodeCpu = Median(cpu);

    double w, c;
    size_t peak10s = 0, peak10min = 0;
    DecodeWhole("bench-10s.mp3", &w, &c, &peak10s);
    DecodeWhole("bench-10min.mp3", &w, &c, &peak10min);

    // The 10-minute file on the running (silent) device for a few seconds.
    SIZE_T private0 = PrivateBytes(), privatePeak = private0;
    size_t heap0 = SbMeterCurrentBytes();
    SbMeterResetPeak();
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("bench-10min.mp3").c_str(), 0, 0);
    FSOUND_Stream_Play(FSOUND_FREE, s);
    for (int i = 0; i < 30; ++i) {
        Sleep(100);
        privatePeak = std::max(privatePeak, PrivateBytes());
    }
    size_t playingPeak = SbMeterPeakBytes() - heap0;
    FSOUND_Stream_Close(s);
    FSOUND_Close();

    MixFigures mixing = MeasureMixing();
    BenchIdleAndFaults(mediaDir);

    const char* formatNames[] = {"MP3", "OGG", "WAV"};
    const StartFigures* starts[] = {&mp3, &ogg, &wav};
    for (int i = 0; i < 3; ++i) {
        std::string label = std::string("engine open + start, ") + formatNames[i];
        BenchRow(kPlaceEngineStart + i, label.c_str(), starts[i]->openStartMs, "ms");
        label = std::string("start to first mixed frame (10 ms period), ") + formatNames[i];
        BenchRow(kPlaceFirstFrame + i, label.c_str(), starts[i]->firstMixMs, "ms");
    }
    BenchRow(kPlaceDecoding, "decoding 60 s of 128 kbit/s MP3: engine wall time", decodeWall, "ms");
    BenchRow(kPlaceDecoding + 1, "  the same, engine thread CPU (coarse under Wine)", decodeCpu,
             "ms");
    BenchRow(kPlaceDecoding + 2, "  the same, mpg123 tool natively (user + system CPU)", mpg123Ms,
             "ms");
    BenchRow(kPlaceDecoding + 3, "  ratio engine wall / mpg123 CPU",
             mpg123Ms > 0 ? decodeWall / mpg123Ms : 0.0, "x");
    BenchRow(kPlaceHeap, "peak decoder heap, 10 s MP3", peak10s / 1024.0, "KiB");
    BenchRow(kPlaceHeap + 1, "peak decoder heap, 10 min MP3", peak10min / 1024.0, "KiB");
    BenchRow(kPlaceHeap + 2, "peak decoder heap, playing the 10 min MP3 for 3 s",
             playingPeak / 1024.0, "KiB");
    BenchRow(kPlaceHeap + 3, "  process private bytes growth meanwhile",
             static_cast<double>(privatePeak - private0) / 1024.0, "KiB");
    BenchRow(kPlaceMixing, "mixing a 10 ms period (callback), volume 100", mixing.full, "us");
    BenchRow(kPlaceMixing + 1, "  the same, volume 60 (every sample scaled)", mixing.scaled, "us");
    BenchRow(kPlaceMixing + 2, "  the same, a second sound waiting in the line", mixing.queued,
             "us");
    (void)peak;
    return 0;
}
