// The listener's settings: how each stored byte reads, how they are
// stored, and that Initialize hands the volume and loudness switch to the engine.
#include "database/settings.h"
#include "host/plugin.h"

#include "clean_state.h"
#include "recording_engine.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::string Byte(int value) {
    return std::string(1, static_cast<char>(value));
}

const std::string kMissing = "missing";

class ListenerSettingsTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        recording_engine::Reset();
        // Anything but the defaults, so a load that skips a value shows.
        playbackVolume = 37;
        letSoundsFinish = true;
        soundsPerMinute = 99;
    }
};

TEST_F(ListenerSettingsTest, EachByteReadsAsTheTableSays) {
    CreateSettingsKey();
    const struct {
        const char* name;
        std::string bytes; // kMissing: no value at all
        DWORD type;
        int volume, flag, perMinute; // -1: this case does not look at it; flag: the named one
    } cases[] = {
        {"Volume", kMissing, REG_BINARY, 100, -1, -1},
        {"Volume", Byte(0), REG_BINARY, 0, -1, -1},
        {"Volume", Byte(50), REG_BINARY, 50, -1, -1},
        {"Volume", Byte(100), REG_BINARY, 100, -1, -1},
        {"Volume", Byte(101), REG_BINARY, 100, -1, -1},
        {"Volume", Byte(255), REG_BINARY, 100, -1, -1},
        {"Volume", "", REG_BINARY, 100, -1, -1},
        {"Volume", std::string("\x28\x00\x00\x00", 4), REG_DWORD, 40, -1, -1},
        {"Volume", std::string(70000, '\x28'), REG_BINARY, 40, -1, -1}, // any length
        {"LetFinish", kMissing, REG_BINARY, -1, 0, -1},
        {"LetFinish", Byte(0), REG_BINARY, -1, 0, -1},
        {"LetFinish", Byte(1), REG_BINARY, -1, 1, -1},
        {"LetFinish", Byte(2), REG_BINARY, -1, 0, -1},
        {"LetFinish", Byte(255), REG_BINARY, -1, 0, -1},
        {"EvenLoudness", kMissing, REG_BINARY, -1, 0, -1},
        {"EvenLoudness", Byte(0), REG_BINARY, -1, 0, -1},
        {"EvenLoudness", Byte(1), REG_BINARY, -1, 1, -1},
        {"EvenLoudness", Byte(255), REG_BINARY, -1, 0, -1},
        {"SoundsPerMinute", kMissing, REG_BINARY, -1, -1, 0},
        {"SoundsPerMinute", Byte(0), REG_BINARY, -1, -1, 0},
        {"SoundsPerMinute", Byte(1), REG_BINARY, -1, -1, 1},
        {"SoundsPerMinute", Byte(255), REG_BINARY, -1, -1, 255},
        {"SoundsPerMinute", "", REG_BINARY, -1, -1, 0},
        // Only the first byte counts, as for the switches.
        {"SoundsPerMinute", std::string("\x2C\x01\x00\x00", 4), REG_DWORD, -1, -1, 44},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.name) + " " + std::to_string(c.bytes.size()) + " bytes, first " +
            (c.bytes.empty() ? "none" : std::to_string(static_cast<unsigned char>(c.bytes[0]))));
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, c.name);
        if (c.bytes != kMissing)
            PutSettingValue(c.name, c.bytes, c.type);
        playbackVolume = 37;
        letSoundsFinish = true;
        evenLoudness = true;
        soundsPerMinute = 99;
        LoadSettings();
        if (c.volume >= 0) {
            EXPECT_EQ(c.volume, playbackVolume);
        }
        if (c.flag >= 0) {
            EXPECT_EQ(c.flag == 1,
                      std::string(c.name) == "EvenLoudness" ? evenLoudness : letSoundsFinish);
        }
        if (c.perMinute >= 0) {
            EXPECT_EQ(c.perMinute, soundsPerMinute);
        }
    }
}

TEST_F(ListenerSettingsTest, WithoutTheKeyEverythingIsAsBeforeAndAStoreCreatesIt) {
    LoadSettings();
    EXPECT_EQ(100, playbackVolume);
    EXPECT_FALSE(letSoundsFinish);
    EXPECT_FALSE(evenLoudness);
    EXPECT_EQ(0, soundsPerMinute);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
    StoreSettingByte("Volume", 30);
    EXPECT_EQ(Byte(30), GetValue(HKEY_CURRENT_USER, kSettingsKey, "Volume").bytes);
    EXPECT_FALSE(GetValue(HKEY_CURRENT_USER, kSettingsKey, "SoundsEnabled").present);
}

TEST_F(ListenerSettingsTest, TheSettingsDoNotDisturbEachOtherOrTheSwitches) {
    CreateSettingsKey();
    PutSettingValue("SoundsEnabled", Byte(1));
    PutSettingValue("Volume", Byte(20));
    PutSettingValue("LetFinish", Byte(1));
    PutSettingValue("SoundsPerMinute", Byte(6));
    LoadSettings();
    EXPECT_TRUE(soundsEnabled);
    EXPECT_FALSE(toastsEnabled);
    EXPECT_EQ(20, playbackVolume);
    EXPECT_TRUE(letSoundsFinish);
    EXPECT_EQ(6, soundsPerMinute);
}

TEST_F(ListenerSettingsTest, StoreByteWritesOneBinaryByte) {
    CreateSettingsKey();
    for (int value : {0, 100, 255}) {
        StoreSettingByte("SoundsPerMinute", static_cast<unsigned char>(value));
        RegValue stored = GetValue(HKEY_CURRENT_USER, kSettingsKey, "SoundsPerMinute");
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), stored.type);
        EXPECT_EQ(Byte(value), stored.bytes);
    }
}

TEST_F(ListenerSettingsTest, InitializeHandsTheStoredControlsToTheEngine) {
    const struct {
        std::string volumeStored, evenStored;
        int volume;
        bool even;
    } cases[] = {{kMissing, kMissing, 100, false},
                 {Byte(0), Byte(1), 0, true},
                 {Byte(64), Byte(0), 64, false},
                 {Byte(200), Byte(2), 100, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        ResetRegistry();
        CreateSettingsKey();
        if (c.volumeStored != kMissing)
            PutSettingValue("Volume", c.volumeStored);
        if (c.evenStored != kMissing)
            PutSettingValue("EvenLoudness", c.evenStored);
        recording_engine::Reset();
        recording_engine::evenLoudness = !c.even;
        ASSERT_EQ(1, Initialize(0, 0, 0));
        EXPECT_EQ(std::vector<std::string>{"SbEngineSetVolume(" + std::to_string(c.volume) + ")"},
                  recording_engine::controlCalls);
        EXPECT_EQ(c.even, recording_engine::evenLoudness);
        Uninitialize();
    }
}

} // namespace
