// The engine's WASAPI stream without the engine: the same library context
// and device configuration (library_output.h) at the plug-in's mixing rate,
// running silent between sounds as the engine's stream does; a trigger makes
// its callback write a tone from its next period on. The device lane's
// recorder tells when the tone's first sample reaches the sink. What the
// plug-in's own figures add to these is the engine's; what a 3 s tone loses
// here is Wine's and PulseAudio's. Prints rows of the bench table.
//   sonabell-bare-output [rate [period-ms periods]]
// Rate 40,100 Hz (the plug-in's) and the engine's periods by default; other
// periods show how the start's delay follows the queue, and at what queue
// the sound server starts to miss.
#include <windows.h>

#include <objbase.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/engine/library_output.h"
#include "tests/device/lane.h"
#include "tools/bench/bench_common.h"

namespace {

constexpr int kBlips = 8;
constexpr int kColdBlips = 3;

// What the callback plays next: set by the trigger, taken by the callback.
struct Tone {
    unsigned rate = 0;
    volatile LONG requested = 0;
    double hz = 0;
    ma_uint64 framesWanted = 0;
    ma_uint64 framesLeft = 0;
    double phase = 0;
};

void DataCallback(ma_device* device, void* output, const void*, ma_uint32 frameCount) {
    auto* tone = static_cast<Tone*>(device->pUserData);
    if (InterlockedExchange(&tone->requested, 0)) {
        tone->framesLeft = tone->framesWanted;
        tone->phase = 0;
    }
    auto* out = static_cast<float*>(output);
    const double step = 2 * 3.14159265358979323846 * tone->hz / tone->rate;
    for (ma_uint32 i = 0; i < frameCount; ++i) {
        float v = 0;
        if (tone->framesLeft > 0) {
            v = static_cast<float>(0.5 * std::sin(tone->phase));
            tone->phase += step;
            --tone->framesLeft;
        }
        out[2 * i] = out[2 * i + 1] = v;
    }
}

// The test media's blip and tone: a sine at half scale.
bool Play(Tone& tone, double hz, double seconds) {
    tone.hz = hz;
    tone.framesWanted = static_cast<ma_uint64>(seconds * tone.rate);
    InterlockedExchange(&tone.requested, 1);
    return true;
}

void Rows(int place, const char* what, int count, const Spread& s) {
    const struct {
        const char* which;
        double ms;
    } figures[] = {{"fastest", s.min}, {"median", s.median}, {"slowest", s.max}};
    char label[96];
    for (const auto& figure : figures) {
        std::snprintf(label, sizeof label, "%s, %s of %d", what, figure.which, count);
        BenchRow(place, label, figure.ms, "ms");
    }
}

} // namespace

int main(int argc, char** argv) {
    Tone tone;
    tone.rate = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 40100u;
    lane::Monitor monitor;
    if (!monitor.available()) {
        std::fprintf(stderr, "no recording of the lane's sink: is the pulse world running?\n");
        return 1;
    }
    // The engine's thread has an apartment of its own, as this one.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ma_context context;
    if (!SbLibraryContextInit(ma_backend_wasapi, &context)) {
        std::fprintf(stderr, "no WASAPI context\n");
        return 1;
    }
    ma_device_config config = SbLibraryDeviceConfig(ma_backend_wasapi, tone.rate);
    if (argc > 3) {
        config.periodSizeInMilliseconds = static_cast<ma_uint32>(std::atoi(argv[2]));
        config.periods = static_cast<ma_uint32>(std::atoi(argv[3]));
    }
    config.dataCallback = DataCallback;
    config.pUserData = &tone;
    ma_device device;
    if (ma_device_init(&context, &config, &device) != MA_SUCCESS ||
        ma_device_start(&device) != MA_SUCCESS) {
        std::fprintf(stderr, "the WASAPI device could not be opened\n");
        return 1;
    }
    std::fprintf(stderr, "bare WASAPI: %u Hz asked, the device's %u Hz, %u periods of %u frames\n",
                 tone.rate, device.playback.internalSampleRate, device.playback.internalPeriods,
                 device.playback.internalPeriodSizeInFrames);
    // As the bench gives the plug-in time between its start and a sound.
    Sleep(2000);
    std::vector<double> warm;
    for (int i = 0; i < kBlips; ++i) {
        lane::Arrival a = lane::Listen(monitor, 1000, [&] { return Play(tone, 2000, 0.5); });
        if (a.delayMs >= 0)
            warm.push_back(a.delayMs);
        Sleep(600);
    }
    LogTimings("bare", warm);
    lane::Arrival toneHeard = lane::Listen(monitor, 4000, [&] { return Play(tone, 1000, 3); });
    // Cold: the stream stopped, as the engine's is when idle, and started
    // again for the sound.
    std::vector<double> cold;
    for (int i = 0; i < kColdBlips; ++i) {
        ma_device_stop(&device);
        Sleep(1000);
        lane::Arrival a = lane::Listen(monitor, 1000, [&] {
            Play(tone, 2000, 0.5);
            return ma_device_start(&device) == MA_SUCCESS;
        });
        if (a.delayMs >= 0)
            cold.push_back(a.delayMs);
        Sleep(600);
    }
    ma_device_uninit(&device);
    ma_context_uninit(&context);
    CoUninitialize();

    // After the plug-in's own rows for WASAPI, DirectSound, WinMM and XP.
    const int place = kPlaceDevice + 8;
    Rows(place, "bare WASAPI through Wine: trigger to the sink", kBlips, SpreadOf(warm));
    char label[96];
    std::snprintf(label, sizeof label, "  the same, stream restarted for it: median of %d",
                  kColdBlips);
    BenchRow(place + 1, label, SpreadOf(cold).median, "ms");
    int gaps = toneHeard.heard ? toneHeard.gaps.count : -1;
    BenchRow(place + 1, "  gaps in a 3 s tone as heard, bare WASAPI", gaps, gaps > 0 ? "!" : "");
    std::fprintf(stderr, "bare WASAPI: %d gaps, %.1f ms in all\n", gaps, toneHeard.gaps.totalMs);
    return 0;
}
