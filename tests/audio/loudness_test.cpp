// Evening out the loudness, judged by what the engine mixed (the capture
// output). The loudness of the capture is libebur128's on the heard samples,
// not the engine's measure of the file it played.
#include <cmath>
#include <cstdio>
#include <string>

#include "audio/engine/loudness_worker.h"
#include "audio/engine_controls.h"
#include "clean_state.h"
#include "engine_capture.h"
#include "loudness_measure.h"

namespace {

constexpr double kRate = 44100;
constexpr double kCeiling = 0.8913; // -1 dBFS

// The loudness of [from, from + frames) of the capture.
double Lufs(const pcm::Frames& f, size_t from, size_t frames) {
    if (from + frames > pcm::FrameCount(f))
        frames = pcm::FrameCount(f) - from;
    return pcm::Lufs(f.data() + 2 * from, frames, kRate);
}

double Peak(const pcm::Frames& f) {
    double peak = 0;
    for (float v : f)
        peak = std::fmax(peak, std::fabs(v));
    return peak;
}

class Evening : public EngineCapture {
  protected:
    void TearDown() override {
        SbEngineSetEvenLoudness(false);
        EngineCapture::TearDown();
    }
    // Plays a file with evening on to its end, or for at most `seconds`, and
    // returns the capture. A first play whose measurement missed its wait
    // (a busy machine) is heard at unity gain: it is played again, measured.
    pcm::Frames PlayEvened(const std::string& path, double seconds = 30) {
        for (int attempt = 0;; ++attempt) {
            Start();
            SbEngineSetEvenLoudness(true);
            long misses = SbLoudnessMisses();
            FSOUND_STREAM* s = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
            EXPECT_NE(s, nullptr) << path;
            EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 1) << path;
            for (int i = 0; i < seconds * 100 && SbEngineIsPlaying(s); ++i)
                Sleep(10);
            Sleep(30); // the period that mixed the last frames reaches the file
            FSOUND_Stream_Close(s);
            pcm::Frames heard = StopAndReadCapture();
            if (SbLoudnessMisses() == misses || attempt == 1)
                return heard;
        }
    }
};

// Each sound is measured over its own span in the capture: from its first
// audible frame, for its length.
TEST_F(Evening, SoundsOfEveryLoudnessAreHeardAtTheTarget) {
    const struct {
        const char* file;
        double seconds;
    } cases[] = {
        {"even-tone-loud.wav", 2.0},  // about -9 LUFS
        {"even-tone-quiet.wav", 2.0}, // about -29 LUFS
        {"even-speech.wav", 1.5},     {"even-noise.wav", 1.0},
        {"even-blip.wav", 0.2},   // shorter than a gating block
        {"even-tiny.wav", 0.015}, // shorter than a decode block
    };
    double least = 0, most = -100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        pcm::Frames heard = PlayEvened(Media(c.file));
        size_t from = pcm::FirstLoudFrame(heard, 0.001f);
        ASSERT_LT(from, pcm::FrameCount(heard));
        double lufs = Lufs(heard, from, static_cast<size_t>(c.seconds * kRate));
        EXPECT_NEAR(lufs, -18.0, 1.0);
        EXPECT_LE(Peak(heard), kCeiling);
        if (c.seconds >= 1.0) {
            least = std::fmin(least, lufs);
            most = std::fmax(most, lufs);
        }
    }
    EXPECT_LE(most - least, 1.0) << "the longer sounds differ among themselves";
}

// A click in a quiet file cannot be raised past the ceiling: the measured
// peak holds the gain down; a click past the measured part (the first 10 s of
// a minute) is held by the limiter, and what was measured is at the target.
TEST_F(Evening, NoPeakPassesMinusOneDecibelFullScale) {
    pcm::Frames click = PlayEvened(Media("even-click.wav"));
    EXPECT_GT(Peak(click), 0.8);
    EXPECT_LE(Peak(click), kCeiling);

    pcm::Frames minute = PlayEvened(Media("even-long.mp3"), 12.0);
    size_t from = pcm::FirstLoudFrame(minute, 0.001f);
    ASSERT_GT(pcm::FrameCount(minute), from + static_cast<size_t>(11.5 * kRate)) << "not heard";
    EXPECT_NEAR(Lufs(minute, from + static_cast<size_t>(kRate), static_cast<size_t>(8 * kRate)),
                -18.0, 1.0);
    EXPECT_GT(Peak(minute), 0.8); // the click is heard
    EXPECT_LE(Peak(minute), kCeiling);
}

TEST_F(Evening, SilencePlaysAtUnityGainToItsEnd) {
    long misses = SbLoudnessMisses();
    pcm::Frames heard = PlayEvened(Media("even-silent.wav"));
    EXPECT_EQ(Peak(heard), 0.0);
    EXPECT_GE(pcm::FrameCount(heard), static_cast<size_t>(kRate));
    EXPECT_LE(SbLoudnessMisses() - misses, 1);
}

// The same name, first holding the quiet tone, then the loud one: the second
// play is measured again, not given the quiet tone's gain (+11 dB).
TEST_F(Evening, AFileRewrittenBetweenTwoPlaysIsMeasuredAgain) {
    const std::string path = Media("captures/even-rewritten.wav");
    for (const char* source : {"even-tone-quiet.wav", "even-tone-loud.wav"}) {
        SCOPED_TRACE(source);
        std::string bytes;
        ASSERT_TRUE(pcm::ReadFile(Media(source), bytes));
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        pcm::Frames heard = PlayEvened(path);
        size_t from = pcm::FirstLoudFrame(heard, 0.001f);
        EXPECT_NEAR(Lufs(heard, from, static_cast<size_t>(2 * kRate)), -18.0, 1.0);
    }
    DeleteFileA(path.c_str());
}

// Each session starts the measurement worker for a file it has not seen;
// FSOUND_Close ends it and lets its events go.
TEST_F(Evening, SessionsThatMeasureLeaveNoHandleBehind) {
    const std::string path = Media("captures/even-cycle.wav");
    std::string bytes;
    ASSERT_TRUE(pcm::ReadFile(Media("even-blip.wav"), bytes));
    auto cycle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            FILE* f = std::fopen(path.c_str(), "wb"); // a new last-write time
            ASSERT_NE(f, nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            Sleep(20);
            PlayEvened(path, 1.0);
        }
    };
    cycle(2);
    long measured = SbLoudnessMeasurements();
    testing_support::ResourceCounts before = testing_support::CurrentResourceCounts();
    cycle(10);
    testing_support::ResourceCounts after = testing_support::CurrentResourceCounts();
    EXPECT_GE(SbLoudnessMeasurements() - measured, 10);
    EXPECT_LE(after.handles, before.handles + 2);
    DeleteFileA(path.c_str());
}

// Turned on and off again, the engine plays as if it had never been on.
TEST_F(Evening, OffAgainPlaysAsBefore) {
    Start();
    SbEngineSetEvenLoudness(true);
    SbEngineSetEvenLoudness(false);
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("even-tone-quiet.wav").c_str(), 0, 0);
    ASSERT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 1);
    WaitUntilDone(s);
    pcm::Frames heard = StopAndReadCapture();
    std::string bytes;
    ASSERT_TRUE(pcm::ReadFile(Media("even-tone-quiet.wav"), bytes));
    pcm::Frames file = pcm::FromS16(bytes, 44);
    size_t from = pcm::FirstLoudFrame(heard, 0.001f), at = pcm::FirstLoudFrame(file, 0.001f);
    ASSERT_LT(from, pcm::FrameCount(heard));
    for (size_t i = 0; i + at < pcm::FrameCount(file) && i + from < pcm::FrameCount(heard); ++i)
        ASSERT_EQ(heard[2 * (from + i)], file[2 * (at + i)]) << "frame " << i;
}

} // namespace
