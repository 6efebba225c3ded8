// The engine against a scripted output that fails the way drivers do: it
// opens and never calls back, stops calling back, hangs in its stop or its
// open, or the default device changes under a sound. Judged on what the
// scripted devices consumed: a sound answered as played is heard from its
// start, a refused one never; the sound comes back after the fault; every
// call returns within its bound; nothing is left behind.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/engine/script_output.h"
#include "clean_state.h"
#include "engine_capture.h"

namespace {

// The bounds the host relies on, with slack for a loaded test machine.
constexpr double kPlayBoundMs = 300;  // the contract: 150
constexpr double kStartBoundMs = 700; // the contract: 500
constexpr double kStopBoundMs = 1300; // the contract: 1000
constexpr float kLoud = 0.1f;

double MsSince(LONGLONG start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

DWORD ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD count = 0;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// What the scripted devices consumed, with each period's time.
struct Consumed {
    pcm::Frames frames;
    std::vector<SbScriptPeriod> periods;
    // The loud frames consumed in periods that ended within (from, to]: a
    // period stamped in the very tick a sound was sent cannot hold it.
    size_t LoudFrames(DWORD from, DWORD to) const {
        size_t loud = 0;
        for (const SbScriptPeriod& p : periods) {
            if (static_cast<LONG>(p.tick - from) <= 0 || static_cast<LONG>(p.tick - to) > 0)
                continue;
            pcm::Frames part(frames.begin() + 2 * p.firstFrame,
                             frames.begin() + 2 * (p.firstFrame + p.frames));
            loud += pcm::FirstLoudFrame(part, kLoud) < p.frames ? p.frames : 0;
        }
        return loud;
    }
    // The longest run of quiet periods between the first and last loud one.
    DWORD LongestGapMs() const {
        DWORD longest = 0, lastLoud = 0;
        bool seen = false;
        for (const SbScriptPeriod& p : periods) {
            pcm::Frames part(frames.begin() + 2 * p.firstFrame,
                             frames.begin() + 2 * (p.firstFrame + p.frames));
            if (pcm::FirstLoudFrame(part, kLoud) >= p.frames)
                continue;
            if (seen)
                longest = std::max(longest, p.tick - lastLoud);
            seen = true;
            lastLoud = p.tick;
        }
        return longest;
    }
};

Consumed Take() {
    Consumed c;
    SbScriptTake(&c.frames, &c.periods);
    return c;
}

struct Sent {
    DWORD before, after; // GetTickCount around the call
    bool played;
    double ms;
};

struct Scenario {
    const char* name;
    SbScriptFault fault;
    DWORD faultMs;
    int callbacks;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

const Scenario kScenarios[] = {
    {"NeverCallsBack", kSbScriptNeverCalls, 1500, 0},
    {"StopsAfterThreeCallbacks", kSbScriptStopsAfter, 1500, 3},
    {"HangsInStop", kSbScriptHangsInStop, 2000, 0},
    {"HangsInOpen", kSbScriptHangsInOpen, 2000, 0},
    {"DefaultDeviceChanges", kSbScriptDefaultChange, 1000, 30},
};

class ScriptedFault : public ::testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "script");
        FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
        FSOUND_SetDriver(0);
    }
    void TearDown() override {
        FSOUND_Close();
        SbScriptArm(kSbScriptNone, 0, 0);
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    }
    static double Timed(void (*call)()) {
        LONGLONG start = Now();
        call();
        return MsSince(start);
    }
};

TEST_P(ScriptedFault, NoSoundIsLostAndNoCallWaitsLong) {
    const Scenario& s = GetParam();
    LONGLONG start = Now();
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_LT(MsSince(start), kStartBoundMs);
    FSOUND_STREAM* tone = FSOUND_Stream_OpenFile(Media("long-440.mp3").c_str(), 0, 0);
    FSOUND_STREAM* beep = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
    ASSERT_NE(tone, nullptr);
    ASSERT_NE(beep, nullptr);
    ASSERT_EQ(FSOUND_Stream_Play(FSOUND_FREE, tone), 1);
    Sleep(300);
    Take();
    SbScriptArm(s.fault, s.faultMs, s.callbacks);
    DWORD faultEnd = GetTickCount() + s.faultMs;
    if (s.fault == kSbScriptDefaultChange) {
        // The tone moves to the new device, losing at most 150 ms of it.
        Sleep(1200);
        EXPECT_TRUE(SbEngineIsPlaying(tone));
        EXPECT_LE(Take().LongestGapMs(), 150u);
    }

    // A sound every 0.7 s (each 0.5 s long) from the fault to 2.8 s after.
    std::vector<Sent> sent;
    double slowest = 0;
    while (static_cast<LONG>(GetTickCount() - (faultEnd + 2800)) < 0) {
        Sent one;
        one.before = GetTickCount();
        LONGLONG t = Now();
        one.played = FSOUND_Stream_Play(FSOUND_FREE, beep) == 1;
        one.ms = MsSince(t);
        one.after = GetTickCount();
        slowest = std::max(slowest, one.ms);
        sent.push_back(one);
        Sleep(700);
    }
    Consumed heard = Take();
    std::printf("[ %s ] longest FSOUND_Stream_Play: %.1f ms\n", s.name, slowest);
    for (const Sent& one : sent) {
        SCOPED_TRACE(testing::Message()
                     << "sound sent " << static_cast<LONG>(one.before - faultEnd)
                     << " ms after the fault's end, answered in " << one.ms << " ms");
        EXPECT_LT(one.ms, kPlayBoundMs);
        size_t loud = heard.LoudFrames(one.before, one.after + 600);
        if (one.played) {
            EXPECT_GT(loud, 0u) << "answered as played, never heard";
        } else {
            EXPECT_EQ(loud, 0u) << "refused, heard all the same";
        }
        bool late = static_cast<LONG>(one.before - (faultEnd + 2000)) >= 0;
        EXPECT_TRUE(one.played || !late) << "the sound is not back 2 s after the fault";
    }
    EXPECT_LE(SbEngineStuckShutdowns(), 1);
    start = Now();
    FSOUND_Close();
    EXPECT_LT(MsSince(start), kStopBoundMs);
    FSOUND_Stream_Close(tone);
    FSOUND_Stream_Close(beep);
}

INSTANTIATE_TEST_SUITE_P(Faults, ScriptedFault, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& p) {
                             return std::string(p.param.name);
                         });

// 10 s after the last sound the stream stops and the engine's thread sleeps
// without a time-out; the next sound starts it again and is heard.
TEST(ScriptedIdle, TheStreamStopsAndTheNextSoundStartsIt) {
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "script");
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    FSOUND_STREAM* beep = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
    ASSERT_EQ(FSOUND_Stream_Play(FSOUND_FREE, beep), 1);
    Sleep(10500 + 500); // the sound's length, then the idle time
    EXPECT_EQ(SbScriptOpenDevices(), 0) << "the stream still runs";
    long wakeups = SbEngineWakeups();
    Sleep(1000);
    EXPECT_EQ(SbEngineWakeups(), wakeups) << "the idle engine woke up by itself";
    Take();
    DWORD before = GetTickCount();
    LONGLONG start = Now();
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, beep), 1);
    EXPECT_LT(MsSince(start), kPlayBoundMs);
    Sleep(800);
    EXPECT_GT(Take().LoudFrames(before, GetTickCount()), 0.45 * 44100);
    FSOUND_Close();
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
}

// Sessions that end while a device hangs in its stop or its open: every call
// within its bound, one abandoned device at most, and once the hangs are
// over the threads and handles of before.
TEST(ScriptedFaultCycles, FiftyHangsLeaveNothingBehind) {
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "script");
    auto cycle = [&](int i) {
        // Each hang outlasts what waits for it: the shutdown's help (0.45 s),
        // or the stop's wait for the engine's thread (0.8 s).
        bool inOpen = i % 2 != 0;
        DWORD hangMs = inOpen ? 1700 : 700;
        LONGLONG start = Now();
        ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1) << "cycle " << i;
        EXPECT_LT(MsSince(start), kStartBoundMs);
        FSOUND_STREAM* beep = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
        EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, beep), 1) << "cycle " << i;
        SbScriptArm(inOpen ? kSbScriptHangsInOpen : kSbScriptHangsInStop, hangMs, 0);
        DWORD faultEnd = GetTickCount() + hangMs;
        // Long enough for the engine to take the silent device for lost and
        // be inside the hanging open when the session ends.
        Sleep(inOpen ? 650 : 20);
        start = Now();
        FSOUND_Stream_Play(FSOUND_FREE, beep);
        EXPECT_LT(MsSince(start), kPlayBoundMs);
        start = Now();
        FSOUND_Close();
        EXPECT_LT(MsSince(start), kStopBoundMs);
        EXPECT_LE(SbEngineStuckShutdowns(), 1) << "cycle " << i;
        LONG left = static_cast<LONG>(faultEnd - GetTickCount());
        if (left > 0)
            Sleep(static_cast<DWORD>(left));
    };
    cycle(0);
    cycle(1);
    Sleep(500);
    DWORD threadsBefore = ThreadCount();
    testing_support::ResourceCounts before = testing_support::CurrentResourceCounts();
    for (int i = 0; i < 50 && !HasFatalFailure(); ++i)
        cycle(i);
    FSOUND_Close();
    // The last hang ends; the threads it held finish.
    for (int i = 0; i < 60 && (SbScriptOpenDevices() > 0 || ThreadCount() > threadsBefore); ++i)
        Sleep(50);
    EXPECT_EQ(SbScriptOpenDevices(), 0);
    EXPECT_LE(ThreadCount(), threadsBefore);
    EXPECT_LE(testing_support::CurrentResourceCounts().handles, before.handles + 2);
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
}

} // namespace
