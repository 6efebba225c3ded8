// The real engine under Wine with its output written to a WAV file by the
// capture override: a fixture per test, each with its own capture file.
#ifndef SONABELL_TESTS_AUDIO_ENGINE_CAPTURE_H
#define SONABELL_TESTS_AUDIO_ENGINE_CAPTURE_H

#include <windows.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "audio/engine/engine_probe.h"
#include "audio/fsound.h"
#include "pcm_compare.h"

inline std::string Media(const std::string& name) {
    return std::string(SB_TEST_MEDIA) + "/" + name;
}

class EngineCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryA(Media("captures").c_str(), nullptr);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        capturePath_ = Media(std::string("captures/") + info->name() + ".wav");
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", ("capture:" + capturePath_).c_str());
    }
    void TearDown() override {
        FSOUND_Close();
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    }

    // The plug-in's own start calls, at a rate the references share.
    static void Start(int rate = 44100) {
        FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
        FSOUND_SetDriver(0);
        ASSERT_EQ(FSOUND_Init(rate, 32, FSOUND_INIT_GLOBALFOCUS), 1);
    }

    static void WaitUntilDone(FSOUND_STREAM* s) {
        for (int i = 0; i < 1000 && SbEngineIsPlaying(s); ++i)
            Sleep(10);
        EXPECT_FALSE(SbEngineIsPlaying(s));
        Sleep(30); // the period that mixed the last frames reaches the file
    }

    // Stops the engine and reads what it mixed; checks the header on the way.
    pcm::Frames StopAndReadCapture(unsigned* rate = nullptr) {
        FSOUND_Close();
        std::string bytes;
        EXPECT_TRUE(pcm::ReadFile(capturePath_, bytes));
        if (bytes.size() < 44)
            return {};
        auto u32 = [&](size_t at) {
            return static_cast<uint32_t>(
                static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                static_cast<uint8_t>(bytes[at + 2]) << 16 |
                static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
        };
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(u32(4), bytes.size() - 8);
        EXPECT_EQ(u32(40), bytes.size() - 44);
        if (rate)
            *rate = u32(24);
        return pcm::FromS16(bytes, 44);
    }

    std::string capturePath_;
};

#endif
