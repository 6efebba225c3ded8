#include "audio/engine/loudness.h"

#include <cmath>

#include "audio/engine/stream_source.h"
#include "ebur128.h"

namespace {
constexpr size_t kBlock = 1024; // frames decoded at a time, as the mixer does
constexpr double kLeastGainDb = -30.0;
constexpr double kMostGainDb = 12.0;
// Below BS.1770's absolute gate nothing counts as sound.
constexpr double kSilentLufs = -70.0;
// One gating block: a sound shorter than this has no gated loudness.
constexpr unsigned long kGateBlockMs = 400;

// Shorter than one gating block: the loudness over the sound's own length.
bool MeasureShort(ebur128_state* st, unsigned long frames, unsigned rate, double* lufs) {
    unsigned long ms = static_cast<unsigned long>(static_cast<double>(frames) * 1000.0 / rate);
    if (ms == 0) {
        *lufs = -HUGE_VAL;
        return true;
    }
    return ebur128_loudness_window(st, ms, lufs) == EBUR128_SUCCESS;
}
} // namespace

bool SbLoudnessMeasure(const char* path, const volatile long* stop, SbLoudness* out) {
    SbSource* source = SbSourceOpenFile(path);
    if (!source)
        return false;
    // At the file's own rate: no resampling to pay for, and the loudness is
    // the same at any rate.
    unsigned rate = SbSourceNativeRate(source);
    ebur128_state* st = nullptr;
    if (SbSourceSetOutputRate(source, rate))
        st = ebur128_init(2, rate,
                          EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
    if (!st) {
        SbSourceClose(source);
        return false;
    }
    float block[kBlock * 2];
    const unsigned long most = static_cast<unsigned long>(kSbLoudnessSeconds * rate);
    unsigned long frames = 0;
    bool ended = false, ok = true;
    while (frames < most && !ended) {
        if (stop && *stop) {
            ok = false;
            break;
        }
        size_t want = most - frames < kBlock ? most - frames : kBlock;
        size_t got = SbSourceRead(source, block, want);
        ended = got < want;
        if (got > 0 && ebur128_add_frames_float(st, block, got) != EBUR128_SUCCESS)
            ok = false;
        frames += static_cast<unsigned long>(got);
    }
    if (ok && !ended) // exactly at the limit: is there more?
        ended = SbSourceRead(source, block, 1) == 0;
    SbSourceClose(source);
    double peaks[2] = {0, 0};
    if (ok) {
        out->whole = ended;
        ok = ebur128_sample_peak(st, 0, &peaks[0]) == EBUR128_SUCCESS &&
             ebur128_sample_peak(st, 1, &peaks[1]) == EBUR128_SUCCESS;
        out->peak = peaks[0] > peaks[1] ? peaks[0] : peaks[1];
        if (ok && frames < static_cast<unsigned long>(rate) * kGateBlockMs / 1000)
            ok = MeasureShort(st, frames, rate, &out->lufs);
        else if (ok)
            ok = ebur128_loudness_global(st, &out->lufs) == EBUR128_SUCCESS;
    }
    ebur128_destroy(&st);
    return ok;
}

float SbLoudnessGain(const SbLoudness& measured) {
    if (!std::isfinite(measured.lufs) || measured.lufs < kSilentLufs)
        return 1.0f;
    double db = kSbLoudnessTarget - measured.lufs;
    db = db < kLeastGainDb ? kLeastGainDb : db > kMostGainDb ? kMostGainDb : db;
    double gain = std::pow(10.0, db / 20.0);
    if (measured.peak * gain > kSbLoudnessCeiling)
        gain = kSbLoudnessCeiling / measured.peak;
    return static_cast<float>(gain);
}
