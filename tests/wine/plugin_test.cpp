// Initialize, Uninitialize, PublishInfo and ParseTag with the real modules and
// the recording engine.
#include "host/plugin.h"

#include "audio/player.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/host_contract.h"

#include "clean_state.h"
#include "recording_engine.h"

#include <cstring>
#include <vector>

using namespace testing_support;

namespace {

const std::vector<std::string> kEngineStart = {"FSOUND_SetOutput(1)", "FSOUND_SetDriver(0)",
                                               "FSOUND_Init(40100, 32, 2)"};

class PluginTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        recording_engine::Reset();
        currentStream = nullptr;
    }
    void TearDown() override {
        Uninitialize();
        CleanRegistryTest::TearDown();
    }
};

TEST_F(PluginTest, InitializeStartsTheEngineLoadsSoundsAndSettings) {
    PutSound("7", "hi", "hi.mp3", "Hello");
    PutSound("12", "bell", "bell.wav", "ding");
    CreateSettingsKey();
    HKEY key;
    RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key);
    const BYTE on = 1;
    RegSetValueExA(key, "ToastsEnabled", 0, REG_BINARY, &on, 1);
    RegCloseKey(key);

    EXPECT_EQ(1, Initialize(0, 0, 0));
    EXPECT_EQ(kEngineStart, recording_engine::calls);
    EXPECT_EQ(2, soundTable.count);
    EXPECT_FALSE(soundsEnabled);
    EXPECT_TRUE(toastsEnabled);
}

TEST_F(PluginTest, InitializeWithAnEmptyRegistryStillSucceeds) {
    EXPECT_EQ(1, Initialize(1, 2, 3));
    EXPECT_EQ(0, soundTable.count);
    for (SoundRecord* slot : soundTable.slots)
        EXPECT_EQ(nullptr, slot);
}

TEST_F(PluginTest, UninitializeClosesTheStreamOnlyWhenOneIsOpen) {
    PutSound("1", "a", "a.mp3", "m");
    Initialize(0, 0, 0);
    recording_engine::calls.clear();
    Uninitialize();
    EXPECT_EQ(std::vector<std::string>{"FSOUND_Close()"}, recording_engine::calls);
    EXPECT_EQ(0, soundTable.count);
    EXPECT_EQ(nullptr, pluginIcon);
    EXPECT_EQ(nullptr, smallPluginIcon);

    Initialize(0, 0, 0);
    currentStream = FSOUND_Stream_OpenFile("x.mp3", 0, 0);
    recording_engine::calls.clear();
    Uninitialize();
    EXPECT_EQ((std::vector<std::string>{"FSOUND_Stream_Close(#1)", "FSOUND_Close()"}),
              recording_engine::calls)
        << "the stream is closed before the engine";
    // A second Uninitialize must not close the dead stream again.
    recording_engine::calls.clear();
    Uninitialize();
    EXPECT_EQ(std::vector<std::string>{"FSOUND_Close()"}, recording_engine::calls);
    EXPECT_EQ(0, recording_engine::openStreams);
}

TEST_F(PluginTest, InitializeTwiceDoesNotStrandRecords) {
    PutSound("1", "a", "a.mp3", "m");
    Initialize(0, 0, 0);
    Initialize(0, 0, 0);
    EXPECT_EQ(1, soundTable.count);
}

TEST_F(PluginTest, PublishInfoWritesExactlyItsBytes) {
    const size_t size = kCommandInfoAuxOffset + kCommandInfoMaxCommands * kCommandInfoAuxSize;
    std::vector<unsigned char> info(size, 0xCC);
    std::vector<char> name(64, '\xCC');
    int reserved = 0x5A5A5A5A;
    EXPECT_EQ(1, PublishInfo(name.data(), info.data(), &reserved));
    EXPECT_EQ(0, reserved);

    std::vector<char> expectedName(64, '\xCC');
    std::memcpy(expectedName.data(), "Sonabell", 9);
    EXPECT_EQ(expectedName, name);

    std::vector<unsigned char> expected(size, 0xCC);
    auto put = [&](size_t offset, const char* text) {
        std::memcpy(&expected[offset], text, std::strlen(text) + 1);
    };
    const int two = 2;
    std::memcpy(&expected[0], &two, 4);
    put(4, "About");
    put(132, "Configure");
    put(6404, "xSBabout");
    put(6532, "xSBconfig");
    put(12804, "");
    put(13060, "");
    EXPECT_EQ(expected, info);
}

TEST_F(PluginTest, ParseTagDeclinesEverything) {
    EXPECT_EQ(0, ParseTag(0, 0, 0));
    EXPECT_EQ(0, ParseTag(1, 2, 3));
}

TEST_F(PluginTest, HundredCyclesLeaveHandleAndObjectCountsFlat) {
    for (int i = 0; i < 20; ++i)
        PutSound(std::to_string(i + 1), "c", "f.mp3", "m");
    CountedWindow window;
    Initialize(0, 0, 0); // warm-up: first-time allocations of the system
    Uninitialize();
    ResourceCounts before = CurrentResourceCounts();
    ExpectCountsLive(before);
    for (int i = 0; i < 100; ++i) {
        Initialize(0, 0, 0);
        Uninitialize();
    }
    ResourceCounts after = CurrentResourceCounts();
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.userObjects, before.userObjects + 2);
    EXPECT_EQ(0, soundTable.count);
}

} // namespace
