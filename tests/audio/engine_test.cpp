// The real engine under Wine, through the seven calls, with its output written
// to a WAV file by the capture override.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/engine/heap_meter.h"
#include "audio/engine_controls.h"
#include "clean_state.h"
#include "engine_capture.h"

namespace {

class Engine : public EngineCapture {};

TEST_F(Engine, PlaysEveryFormatAsTheReferenceDecodersDo) {
    for (const std::string& name : pcm::DecodableClips()) {
        SCOPED_TRACE(name);
        Start();
        FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media(name).c_str(), 0, 0);
        ASSERT_NE(s, nullptr);
        ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
        WaitUntilDone(s);
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
        pcm::Frames got = StopAndReadCapture();
        std::string refBytes;
        ASSERT_TRUE(pcm::ReadFile(Media(name + ".ref.raw"), refBytes));
        pcm::Match m = pcm::Compare(got, pcm::FromS16(refBytes));
        ASSERT_GE(m.lag, 0);
        EXPECT_GT(m.snrDb, 35.0);
        EXPECT_LT(m.tailRms, 0.01);
    }
}

// As a soundpack's check asks it: each reader tells the length of an open
// stream without playing it, the system's codecs included.
TEST_F(Engine, TellsTheLengthOfEveryKindOfFile) {
    const struct {
        const char* name;
        double seconds;
    } cases[] = {
        {"clip.wav", 1.3},
        {"clip.mp3", 1.3}, // its tag says
        {"clip.mp2", 1.3}, // no tag: its frames are counted
        {"clip.ogg", 1.3},
        {"clip.flac", 1.3},
        {"clip.raw", 1.3},
        {"fmt-aifc-1000-1000.aifc", 1.0},
        {"fmt-opusvoice-440-1500.opus", 1.5},
        {"fmt-wma1-1000-1500.wma", 1.5},
        {"fmt-wma2-1000-1500.wma", 1.5},
        {"fmt-asf-1000-1500.asf", 1.5},
        {"fmt-m4a44-1000-1500.m4a", 1.5},
        {"fmt-m4a48-440-1500.m4a", 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Under Wine the first open of a system codec loads GStreamer, which
        // takes longer than an open waits: tried again until it has.
        FSOUND_STREAM* s = nullptr;
        for (int tries = 0; !s && tries < 20; ++tries) {
            s = FSOUND_Stream_OpenFile(Media(c.name).c_str(), 0, 0);
            if (!s)
                Sleep(500);
        }
        ASSERT_NE(s, nullptr);
        EXPECT_NEAR(SbEngineStreamLengthMs(s) / 1000.0, c.seconds, 0.06);
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
        EXPECT_EQ(SbEngineStreamLengthMs(s), -1);
    }
}

TEST_F(Engine, MixesAtThePluginsRate) {
    Start(40100);
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("clip.wav").c_str(), 0, 0);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    WaitUntilDone(s);
    unsigned rate = 0;
    pcm::Frames got = StopAndReadCapture(&rate);
    EXPECT_EQ(rate, 40100u);
    std::string refBytes;
    pcm::ReadFile(Media("clip.wav.ref.raw"), refBytes);
    double expected = pcm::LoudSpan(pcm::FromS16(refBytes), 0.02f) * 40100.0 / 44100.0;
    EXPECT_NEAR(static_cast<double>(pcm::LoudSpan(got, 0.02f)), expected, 100);
}

// Zero crossings of the left channel per second, over frames [from, to).
double Pitch(const pcm::Frames& f, size_t from, size_t to) {
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if ((f[2 * i - 2] < 0) != (f[2 * i] < 0))
            ++crossings;
    return crossings / 2.0 * 44100.0 / static_cast<double>(to - from);
}

TEST_F(Engine, ASecondStreamReplacesTheFirst) {
    Start();
    FSOUND_STREAM* first = FSOUND_Stream_OpenFile(Media("long-440.mp3").c_str(), 0, 0);
    FSOUND_STREAM* second = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, first), 0);
    Sleep(400);
    // While it runs the capture is already a readable WAV file.
    std::string partial;
    ASSERT_TRUE(pcm::ReadFile(capturePath_, partial));
    ASSERT_GT(partial.size(), 44u);
    EXPECT_EQ(partial.substr(0, 4), "RIFF");
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, second), 0);
    EXPECT_FALSE(SbEngineIsPlaying(first));
    WaitUntilDone(second);
    pcm::Frames got = StopAndReadCapture();
    size_t start = pcm::FirstLoudFrame(got, 0.1f);
    size_t span = pcm::LoudSpan(got, 0.1f);
    // The 4 s tone stopped where the 0.5 s one took over.
    EXPECT_LT(span, static_cast<size_t>(1.5 * 44100));
    EXPECT_NEAR(Pitch(got, start + 2000, start + 12000), 440, 20);
    EXPECT_NEAR(Pitch(got, start + span - 12000, start + span - 2000), 2000, 40);
}

TEST_F(Engine, ClosingWhilePlayingIsSafeAndTheEnginePlaysOn) {
    Start();
    for (int i = 0; i < 40; ++i) {
        FSOUND_STREAM* s =
            FSOUND_Stream_OpenFile(Media(i % 2 ? "clip.ogg" : "clip.mp3").c_str(), 0, 0);
        ASSERT_NE(s, nullptr);
        ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
        Sleep(i % 7);
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
        EXPECT_EQ(FSOUND_Stream_Close(s), 0); // a stale handle reaches nothing
    }
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    WaitUntilDone(s);
    // A start while running keeps the engine; closing twice, then starting
    // again, works.
    Start();
    FSOUND_Close();
    FSOUND_Close();
    Start();
    s = FSOUND_Stream_OpenFile(Media("short-2000.mp3").c_str(), 0, 0);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    WaitUntilDone(s);
    EXPECT_GT(pcm::LoudSpan(StopAndReadCapture(), 0.1f), static_cast<size_t>(0.4 * 44100));
}

TEST_F(Engine, AStartWhilePlayingKeepsTheStreamPlaying) {
    Start();
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("long-440.mp3").c_str(), 0, 0);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    Sleep(100);
    Start();
    EXPECT_TRUE(SbEngineIsPlaying(s));
}

TEST_F(Engine, AThousandOpenCloseCyclesLeaveNothingBehind) {
    Start();
    auto cycle = [](int n) {
        for (int i = 0; i < n; ++i) {
            FSOUND_STREAM* s =
                FSOUND_Stream_OpenFile(Media(i % 2 ? "clip.ogg" : "clip.mp3").c_str(), 0, 0);
            ASSERT_NE(s, nullptr);
            ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
            ASSERT_EQ(FSOUND_Stream_Close(s), 1);
        }
    };
    cycle(20);
    Sleep(50);
    testing_support::ResourceCounts before = testing_support::CurrentResourceCounts();
    size_t heapBefore = SbMeterCurrentBytes();
    cycle(1000);
    Sleep(50);
    testing_support::ResourceCounts after = testing_support::CurrentResourceCounts();
    EXPECT_EQ(SbMeterCurrentBytes(), heapBefore);
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.privateBytes, before.privateBytes + 512 * 1024);
}

TEST_F(Engine, RefusesHostileFiles) {
    Start();
    auto write = [](const std::string& name, const std::string& bytes) {
        FILE* f = std::fopen(Media(name).c_str(), "wb");
        if (!f)
            return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    std::string wav;
    pcm::ReadFile(Media("clip.wav"), wav);
    std::string random;
    for (unsigned x = 7, i = 0; i < 20000; ++i)
        random.push_back(static_cast<char>((x = x * 69069 + 1) >> 24));
    std::string huge = wav.substr(0, 44);
    huge.replace(22, 2, "\xff\xff");         // channels
    huge.replace(24, 4, "\xff\xff\xff\xff"); // rate
    huge.replace(40, 4, "\xf0\xff\xff\xff"); // data size
    write("hostile-empty.mp3", "");
    write("hostile-text.mp3", "This is a text file, not a sound.\r\n");
    write("hostile-random.wav", random);
    write("hostile-truncated.wav", wav.substr(0, 30));
    write("hostile-huge.wav", huge + random);
    CreateDirectoryA(Media("hostile-folder.mp3").c_str(), nullptr);
    for (const char* name :
         {"hostile-empty.mp3", "hostile-text.mp3", "hostile-random.wav", "hostile-truncated.wav",
          "hostile-huge.wav", "hostile-folder.mp3", "no-such-file.mp3"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FSOUND_Stream_OpenFile(Media(name).c_str(), 0, 0), nullptr);
    }
    EXPECT_EQ(FSOUND_Stream_OpenFile(nullptr, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, nullptr), 0);
    EXPECT_EQ(FSOUND_Stream_Close(nullptr), 0);
}

// Without the override the engine uses the system's output. Wine on the test
// machines has none, unless the test's environment declares one
// (SONABELL_TEST_DEVICE=1, as the device lane does): then the start must
// succeed and a stream play. Otherwise the start fails, a file still opens,
// and playing it is refused rather than lost.
TEST_F(Engine, WithoutTheOverrideTheSystemsOutputIsUsed) {
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    char declared[8] = "";
    bool device = GetEnvironmentVariableA("SONABELL_TEST_DEVICE", declared, sizeof declared) > 0 &&
                  declared[0] == '1';
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    signed char started = FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(Media("clip.mp3").c_str(), 0, 0);
    ASSERT_NE(s, nullptr);
    if (device) {
        ASSERT_EQ(started, 1) << "a sound device was declared, but none opened";
        EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
        EXPECT_TRUE(SbEngineIsPlaying(s));
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
        return;
    }
    ASSERT_EQ(started, 0) << "the engine found a sound device: a test environment that has "
                             "one declares it with SONABELL_TEST_DEVICE=1";
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    EXPECT_EQ(FSOUND_Stream_Close(s), 1);
    // Output 0 is a silent device, which always opens: an engine that found
    // no device takes the new choice at the next start.
    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND);
    ASSERT_EQ(FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS), 1);
    s = FSOUND_Stream_OpenFile(Media("clip.mp3").c_str(), 0, 0);
    EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
}

} // namespace
