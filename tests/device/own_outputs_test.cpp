// The engine's own outputs, DirectSound and WinMM, on the lane's device:
// each feeds the device at its pace, pauses and resumes; and DirectSound's
// feeder, late as on a machine too busy to run it on time, leaves a gap but
// never lets the listener hear an earlier lap of its looping buffer again.
// A rising sweep shows either at the lane's sink: a replay is a fall in
// pitch.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/engine/dsound_output.h"
#include "audio/engine/winmm_output.h"
#include "audio/fsound.h"
#include "lane.h"

namespace {

constexpr unsigned kRate = 44100;

// What the device asked for so far, in frames.
volatile LONG rendered = 0;

void CountFrames(void*, float* frames, size_t count) {
    std::fill(frames, frames + 2 * count, 0.0f);
    InterlockedExchangeAdd(&rendered, static_cast<LONG>(count));
}

double SecondsRenderedOver(DWORD ms) {
    LONG before = InterlockedCompareExchange(&rendered, 0, 0);
    Sleep(ms);
    return static_cast<double>(InterlockedCompareExchange(&rendered, 0, 0) - before) / kRate;
}

// Either output behind one face.
struct OwnOutput {
    const char* name;
    void* (*open)(char* error, size_t size);
    bool (*failed)(void*);
    void (*pause)(void*, bool);
    void (*close)(void*);
};

const OwnOutput kOutputs[] = {
    {"DirectSound",
     [](char* error, size_t size) -> void* {
         return SbDsOpen(0, kRate, CountFrames, nullptr, error, size);
     },
     [](void* o) { return SbDsFailed(static_cast<SbDsOutput*>(o)); },
     [](void* o, bool paused) { SbDsPause(static_cast<SbDsOutput*>(o), paused); },
     [](void* o) { SbDsClose(static_cast<SbDsOutput*>(o)); }},
    {"WinMM",
     [](char* error, size_t size) -> void* {
         return SbWmOpen(0, kRate, CountFrames, nullptr, error, size);
     },
     [](void* o) { return SbWmFailed(static_cast<SbWmOutput*>(o)); },
     [](void* o, bool paused) { SbWmPause(static_cast<SbWmOutput*>(o), paused); },
     [](void* o) { SbWmClose(static_cast<SbWmOutput*>(o)); }},
};

// Fed while running, at about the device's pace (a feeder that spins asks
// for far more; one that stalls for nothing; a sound server starved by a
// busy machine takes a little less), not asked for a frame while paused,
// and gone within a second.
TEST(OwnOutputs, FeedInRealTimePauseAndClose) {
    for (const OwnOutput& output : kOutputs) {
        SCOPED_TRACE(output.name);
        char error[160] = "";
        void* o = output.open(error, sizeof error);
        ASSERT_NE(o, nullptr) << error;
        Sleep(300); // the stream's start
        double seconds = SecondsRenderedOver(1000);
        EXPECT_GT(seconds, 0.5) << "running";
        EXPECT_LT(seconds, 1.3) << "running";
        output.pause(o, true);
        Sleep(100);
        EXPECT_EQ(SecondsRenderedOver(300), 0.0) << "paused";
        output.pause(o, false);
        Sleep(300);
        seconds = SecondsRenderedOver(1000);
        EXPECT_GT(seconds, 0.5) << "resumed";
        EXPECT_LT(seconds, 1.3) << "resumed";
        EXPECT_FALSE(output.failed(o));
        DWORD start = GetTickCount();
        output.close(o);
        EXPECT_LT(GetTickCount() - start, 1000u);
    }
}

constexpr float kLoud = 0.05f;

size_t FramesOf(double seconds) {
    return static_cast<size_t>(seconds * lane::kSinkRate);
}

struct Hold {
    const char* name;
    unsigned ms; // how late the feeder's pass starts
    int times;   // once every 0.4 s from the sound's start
};

const Hold kHolds[] = {
    {"on time", 0, 0},
    {"late once by 150 ms", 150, 1},
    {"late by 150 ms again and again", 150, 5},
};

TEST(DirectSoundFeeder, ALateFeederLeavesAGapAndNeverAReplay) {
    lane::Monitor monitor;
    ASSERT_TRUE(monitor.available())
        << "no recording of the lane's sink: run under the pulse_world fixture";
    ASSERT_TRUE(FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS));
    Sleep(1500); // the sound server's start-up hiccups
    const std::string sweep = std::string(SB_TEST_MEDIA) + "/sweep-rising.wav";
    for (const Hold& hold : kHolds) {
        SCOPED_TRACE(hold.name);
        FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(sweep.c_str(), 0, 0);
        ASSERT_NE(stream, nullptr);
        monitor.Mark();
        int64_t called = lane::NowNs();
        ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, stream), 0);
        for (int i = 0; i < hold.times; ++i) {
            Sleep(400);
            SbDsDelayFeederForTest(hold.ms);
        }
        // Long enough for a sound server that a busy machine slows down.
        double seconds = 3.0 + hold.times * hold.ms / 1000.0 + 2.0;
        lane::Heard h = monitor.SinceUntil(called + static_cast<int64_t>(seconds * 1e9), 12000);
        FSOUND_Stream_Close(stream);
        size_t first = lane::FirstLoudFrame(h, kLoud), last = lane::LastLoudFrame(h, kLoud);
        ASSERT_LT(first, h.frames()) << "the sweep was not heard";
        // The pitch of each 20 ms stretch heard, against the highest before
        // it: the sweep rises 19 Hz in 20 ms, a lap heard again falls by
        // hundreds for as long as it lasts. Stretches partly in a gap (the
        // late feeder's, or the sound server's own on a busy machine) are
        // left out; the edge of a gap can read as any pitch, so each pitch
        // is the median of three stretches in a row.
        std::vector<double> pitches;
        const size_t window = FramesOf(0.02);
        for (size_t at = first; at + window <= last; at += window)
            if (lane::Rms(h, at, at + window) >= 0.3) { // the sweep's own level: 0.35
                double hz = lane::Frequency(h, at, at + window);
                if (hz > 0) // a lap heard again is a tone too
                    pitches.push_back(hz);
            }
        double highest = 0;
        int falls = 0;
        std::string firstFalls;
        for (size_t i = 1; i + 1 < pitches.size(); ++i) {
            double three[] = {pitches[i - 1], pitches[i], pitches[i + 1]};
            std::sort(three, three + 3);
            if (three[1] < highest - 60 && ++falls <= 3)
                firstFalls += " " + std::to_string(static_cast<int>(three[1])) + " Hz after " +
                              std::to_string(static_cast<int>(highest)) + " Hz;";
            highest = std::max(highest, three[1]);
        }
        EXPECT_EQ(falls, 0) << "heard again from an earlier point:" << firstFalls;
        EXPECT_GT(highest, 2800.0) << "the sweep did not reach its end";
        // The hook really held the feeder up.
        EXPECT_TRUE(hold.times == 0 || lane::FindGaps(h, first, last, 50.0).count > 0)
            << "no gap where the feeder was late";
    }
    FSOUND_Close();
}

} // namespace
