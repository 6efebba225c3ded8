// The listener controls in the real engine, judged by what it mixed (the
// capture output): the volume, the wait line and the chime.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine_controls.h"
#include "engine_capture.h"

namespace {

constexpr size_t kRate = 44100;
constexpr size_t kPeriod = kRate / 100; // the silent device's 10 ms

size_t Frames(double seconds) {
    return static_cast<size_t>(seconds * kRate);
}

double Rms(const pcm::Frames& f, size_t from, size_t to) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < to && i < pcm::FrameCount(f); ++i, ++n)
        sum += f[2 * i] * f[2 * i] + f[2 * i + 1] * f[2 * i + 1];
    return n ? std::sqrt(sum / (2.0 * static_cast<double>(n))) : 0.0;
}

double Peak(const pcm::Frames& f, size_t from, size_t to) {
    double peak = 0;
    for (size_t i = 2 * from; i < 2 * to && i < f.size(); ++i)
        peak = std::max(peak, static_cast<double>(std::fabs(f[i])));
    return peak;
}

double Hz(const pcm::Frames& f, size_t from, size_t to) {
    return pcm::MedianPitchHz(f.data(), pcm::FrameCount(f), from, to, kRate);
}

// The largest step between neighbouring samples: a click shows as a step
// far larger than the sound's own.
double LargestStep(const pcm::Frames& f, size_t from, size_t to) {
    double step = 0;
    for (size_t i = from + 1; i < to && i < pcm::FrameCount(f); ++i)
        for (int c = 0; c < 2; ++c)
            step = std::max(step, static_cast<double>(std::fabs(f[2 * i + c] - f[2 * i - 2 + c])));
    return step;
}

class Controls : public EngineCapture {
  protected:
    void TearDown() override {
        SbEngineSetVolume(100);
        EngineCapture::TearDown();
    }
    static FSOUND_STREAM* Open(const char* name) {
        FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media(name).c_str(), 0, 0);
        EXPECT_NE(s, nullptr) << name;
        return s;
    }
    static void WaitWhilePending(FSOUND_STREAM* s) {
        for (int i = 0; i < 1000 && SbEngineStreamPending(s); ++i)
            Sleep(10);
        EXPECT_FALSE(SbEngineStreamPending(s));
        Sleep(30); // the period that mixed the last frames reaches the file
    }
};

TEST_F(Controls, TheVolumeIsClampedToItsRange) {
    const struct {
        int set, read;
    } cases[] = {{100, 100}, {0, 0}, {37, 37}, {101, 100}, {255, 100}, {-1, 0}, {-500, 0}};
    for (const auto& c : cases) {
        SbEngineSetVolume(c.set);
        EXPECT_EQ(SbEngineVolume(), c.read) << c.set;
    }
}

// Half the volume is the same tone about 6 dB lower; none is silence, and
// the sound still plays to its end.
TEST_F(Controls, VolumeScalesTheSoundAndZeroIsSilence) {
    double full = 0;
    for (int volume : {100, 50, 0}) {
        SCOPED_TRACE(volume);
        SetUp(); // a capture of its own for each volume
        Start();
        SbEngineSetVolume(volume);
        FSOUND_STREAM* s = Open("short-2000.mp3");
        ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
        DWORD started = GetTickCount();
        WaitWhilePending(s);
        EXPECT_GT(GetTickCount() - started, 400u) << "ended before its time";
        pcm::Frames got = StopAndReadCapture();
        if (volume == 0) {
            EXPECT_EQ(Peak(got, 0, pcm::FrameCount(got)), 0.0);
            continue;
        }
        size_t first = pcm::FirstLoudFrame(got, 0.01f);
        ASSERT_LT(first + Frames(0.45), pcm::FrameCount(got));
        double rms = Rms(got, first + Frames(0.05), first + Frames(0.45));
        EXPECT_NEAR(Hz(got, first + Frames(0.05), first + Frames(0.45)), 2000, 5);
        if (volume == 100)
            full = rms;
        else
            EXPECT_NEAR(20 * std::log10(rms / full), -6.02, 0.3);
    }
}

// Moving the slider while a sound plays: no step larger than the tone's own,
// and the new level reached within one period.
TEST_F(Controls, AVolumeChangeWhilePlayingRampsWithoutAJump) {
    Start();
    FSOUND_STREAM* s = Open("long-440.mp3");
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    Sleep(400);
    SbEngineSetVolume(20);
    Sleep(400);
    SbEngineSetVolume(100);
    Sleep(400);
    pcm::Frames got = StopAndReadCapture();
    size_t first = pcm::FirstLoudFrame(got, 0.05f);
    size_t end = pcm::FrameCount(got);
    ASSERT_LT(first + Frames(1.1), end);
    // The tone's own largest step: a 440 Hz sine at half scale.
    const double own = 2 * 3.14159265 * 440 / kRate * 0.5;
    EXPECT_LT(LargestStep(got, first, end), own * 1.2);
    // Levels by 5 ms window: full, a fifth, full; anything between the two
    // lasts no longer than a ramp of one period (plus a window on each side).
    const double fullRms = 0.5 / std::sqrt(2.0);
    size_t window = kPeriod / 2, between = 0;
    for (size_t at = first + kPeriod; at + window < end - kPeriod; at += window) {
        double rms = Rms(got, at, at + window);
        if (rms > fullRms * 0.2 * 1.3 && rms < fullRms * 0.8)
            between += window;
    }
    EXPECT_LE(between, 2 * (kPeriod + 2 * window)) << "two changes, each ramped in a period";
    EXPECT_NEAR(Peak(got, first + Frames(0.6), first + Frames(0.7)), 0.1, 0.01);
}

// Two sounds in the line: the second starts the moment the first ends, both
// heard whole and in order.
TEST_F(Controls, QueuedSoundsFollowEachOtherWholeAndWithoutAGap) {
    Start();
    FSOUND_STREAM* a = Open("short-2000.mp3");
    FSOUND_STREAM* b = Open("tone-1k.mp3");
    EXPECT_EQ(SbEngineQueueStream(a, 3), kSbQueuePlaying);
    EXPECT_EQ(SbEngineQueueStream(b, 3), kSbQueueWaiting);
    EXPECT_TRUE(SbEngineStreamPending(b));
    EXPECT_FALSE(SbEngineIsPlaying(b));
    WaitWhilePending(b);
    pcm::Frames got = StopAndReadCapture();
    size_t first = pcm::FirstLoudFrame(got, 0.05f);
    size_t span = pcm::LoudSpan(got, 0.05f);
    EXPECT_NEAR(static_cast<double>(span), static_cast<double>(Frames(3.5)), 64);
    EXPECT_NEAR(Hz(got, first + Frames(0.05), first + Frames(0.45)), 2000, 5);
    EXPECT_NEAR(Hz(got, first + Frames(0.55), first + Frames(3.4)), 1000, 3);
    // No silence at the seam: no run of a millisecond below the tones' level.
    size_t quiet = 0, longest = 0;
    for (size_t i = first; i < first + span; ++i) {
        quiet = std::fabs(got[2 * i]) < 0.01f ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    EXPECT_LT(longest, kRate / 1000);
}

TEST_F(Controls, TheWaitLineHoldsAtMostMaxWaiting) {
    Start();
    FSOUND_STREAM* playing = Open("long-440.mp3");
    std::vector<FSOUND_STREAM*> waiting;
    for (int i = 0; i < 4; ++i)
        waiting.push_back(Open("clip.mp3"));
    EXPECT_EQ(SbEngineQueueStream(playing, 3), kSbQueuePlaying);
    EXPECT_TRUE(SbEngineIsPlaying(playing));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SbEngineQueueStream(waiting[i], 3), kSbQueueWaiting) << i;
    EXPECT_EQ(SbEngineQueueStream(waiting[3], 3), kSbQueueFull);
    EXPECT_FALSE(SbEngineStreamPending(waiting[3]));
    // Asking again about one in the line keeps its place.
    EXPECT_EQ(SbEngineQueueStream(waiting[0], 3), kSbQueueWaiting);
    // Closing a waiting stream takes it out of the line and frees its place.
    EXPECT_EQ(FSOUND_Stream_Close(waiting[1]), 1);
    EXPECT_EQ(SbEngineQueueStream(waiting[3], 3), kSbQueueWaiting);
    EXPECT_EQ(SbEngineQueueStream(nullptr, 3), kSbQueueFailed);
    EXPECT_EQ(SbEngineQueueStream(waiting[1], 3), kSbQueueFailed) << "a closed handle";
    // Play replaces what plays and empties the line.
    FSOUND_STREAM* other = Open("short-2000.mp3");
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, other), 0);
    EXPECT_FALSE(SbEngineStreamPending(playing));
    for (FSOUND_STREAM* s : {waiting[0], waiting[2], waiting[3]})
        EXPECT_FALSE(SbEngineStreamPending(s));
    EXPECT_TRUE(SbEngineIsPlaying(other));
    // With a line of none, a sound arriving while another plays is refused.
    EXPECT_EQ(SbEngineQueueStream(waiting[0], 0), kSbQueueFull);
}

// The chime starts at once, is short and bell-like, and follows the volume.
TEST_F(Controls, TheChimeIsHeardAtTheVolume) {
    double loud = 0;
    for (int volume : {100, 50}) {
        SCOPED_TRACE(volume);
        SetUp(); // a capture of its own for each volume
        Start();
        SbEngineSetVolume(volume);
        char reason[64] = "untouched";
        ASSERT_TRUE(SbEnginePlayChime(reason, sizeof reason));
        EXPECT_STREQ(reason, "");
        EXPECT_GE(SbEngineFirstMixDelayMs(), -1.0);
        Sleep(900);
        pcm::Frames got = StopAndReadCapture();
        size_t first = pcm::FirstLoudFrame(got, 0.001f);
        size_t end = pcm::FrameCount(got);
        ASSERT_LT(first + Frames(0.7), end);
        EXPECT_LT(first, Frames(0.05)) << "the chime starts with the device's first periods";
        EXPECT_NEAR(Hz(got, first + Frames(0.01), first + Frames(0.15)), 1318.5, 15);
        double peak = Peak(got, first, end);
        if (volume == 100) {
            loud = peak;
            EXPECT_GT(peak, 0.3);
            EXPECT_LT(peak, 0.8);
        } else {
            EXPECT_NEAR(peak / loud, 0.5, 0.05);
        }
        EXPECT_LT(Peak(got, first + Frames(0.71), end), 0.001) << "longer than its 0.7 s";
    }
}

TEST_F(Controls, TheChimeReplacesWhatPlays) {
    Start();
    FSOUND_STREAM* s = Open("long-440.mp3");
    FSOUND_STREAM* next = Open("clip.mp3");
    ASSERT_EQ(SbEngineQueueStream(s, 3), kSbQueuePlaying);
    ASSERT_EQ(SbEngineQueueStream(next, 3), kSbQueueWaiting);
    char reason[64];
    ASSERT_TRUE(SbEnginePlayChime(reason, sizeof reason));
    EXPECT_FALSE(SbEngineStreamPending(s));
    EXPECT_FALSE(SbEngineStreamPending(next));
    // The stream is still open and plays again when asked.
    Sleep(800);
    EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    EXPECT_TRUE(SbEngineIsPlaying(s));
}

// With no device at all (Wine without sound, no override), the chime says so.
TEST_F(Controls, TheChimeSaysWhyItCannotBeHeard) {
    char declared[8] = "";
    if (GetEnvironmentVariableA("SONABELL_TEST_DEVICE", declared, sizeof declared) > 0)
        return; // a machine with sound: nothing to refuse
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    char reason[128] = "untouched";
    EXPECT_FALSE(SbEnginePlayChime(reason, sizeof reason));
    EXPECT_GT(std::strlen(reason), 10u) << reason;
    EXPECT_NE(std::string(reason), "untouched");
    char tiny[4] = "xyz";
    EXPECT_FALSE(SbEnginePlayChime(tiny, sizeof tiny));
    EXPECT_EQ(std::strlen(tiny), 3u) << "cut to its buffer, ended by a zero";
}

} // namespace
