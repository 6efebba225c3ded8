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
#include "tools/bench/loudness_bench.h"

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

double Milliseconds(FILETIME f) {
    return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) /
           1e4;
}

double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return Milliseconds(kernel) + Milliseconds(user);
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage 0; the commit charge is the same figure there.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return Milliseconds(kernel) + Milliseconds(user);
}

// Plays a file once to its end on the running device: the process's CPU ms.
double PlayCpuMs(const char* file, double seconds) {
    double c0 = ProcessCpuMs();
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media(file).c_str(), 0, 0);
    if (!s || !FSOUND_Stream_Play(FSOUND_FREE, s)) {
        FSOUND_Stream_Close(s);
        return -1;
    }
    Sleep(static_cast<DWORD>(seconds * 1000) + 100);
    FSOUND_Stream_Close(s);
    return ProcessCpuMs() - c0;
}

// Opens, starts and closes a file `times` times, 20 ms heard each time.
void PlayMany(const char* file, int times) {
    for (int i = 0; i < times; ++i) {
        FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media(file).c_str(), 0, 0);
        if (s)
            FSOUND_Stream_Play(FSOUND_FREE, s);
        Sleep(20);
        FSOUND_Stream_Close(s);
    }
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
    // The formats of our own decoders, then those that came later: the
    // system's codecs (WMA, M4A) on the codec thread, AIFF, Opus.
    const struct {
        const char* name;
        const char* file;
        double seconds;
    } formats[] = {{"MP3", "clip.mp3", 1.3},
                   {"OGG", "clip.ogg", 1.3},
                   {"WAV", "clip.wav", 1.3},
                   {"WMA", "fmt-wma2-1000-1500.wma", 1.5},
                   {"M4A", "fmt-m4a44-1000-1500.m4a", 1.5},
                   {"AIFF", "fmt-aiff-1000-1000.aiff", 1.0},
                   {"Opus", "fmt-opusmusic-1000-1500.opus", 1.5}};
    constexpr int kFormats = sizeof formats / sizeof formats[0];
    // Under Wine the system codecs' first open in a process also starts
    // GStreamer (a second or more): played once, and waited for, first.
    for (const auto& format : formats)
        PlayMany(format.file, 1);
    Sleep(2000);
    StartFigures starts[kFormats];
    for (int i = 0; i < kFormats; ++i)
        starts[i] = MeasureStart(formats[i].file);
    // What a second of each costs the whole process (decoding on whichever
    // thread, mixing, the silent device), and what 100 plays leave behind.
    double cpuPerSecond[kFormats];
    double privateGrowth[kFormats];
    for (int i = 0; i < kFormats; ++i) {
        cpuPerSecond[i] = PlayCpuMs(formats[i].file, formats[i].seconds) / formats[i].seconds;
        PlayMany(formats[i].file, 5); // the codecs loaded, the heap warmed
        SIZE_T bytes0 = PrivateBytes();
        PlayMany(formats[i].file, 100);
        privateGrowth[i] =
            (static_cast<double>(PrivateBytes()) - static_cast<double>(bytes0)) / 1024.0;
    }

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
    BenchLoudness(mediaDir);

    for (int i = 0; i < kFormats; ++i) {
        std::string label = std::string("engine open + start, ") + formats[i].name;
        BenchRow(kPlaceEngineStart + i, label.c_str(), starts[i].openStartMs, "ms");
        label = std::string("start to first mixed frame (10 ms period), ") + formats[i].name;
        BenchRow(kPlaceFirstFrame + i, label.c_str(), starts[i].firstMixMs, "ms");
        label = std::string("process CPU per second of sound played, ") + formats[i].name;
        BenchRow(kPlaceDecoding + 10 + i, label.c_str(), cpuPerSecond[i], "ms");
        label = std::string("private bytes growth over 100 plays, ") + formats[i].name;
        BenchRow(kPlaceHeap + 10 + i, label.c_str(), privateGrowth[i], "KiB");
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
