#include "database/settings.h"

#include "clean_state.h"

using namespace testing_support;

namespace {

class SettingsTest : public CleanRegistryTest {};

TEST_F(SettingsTest, NoKeyReadsBothOffAndCreatesNothing) {
    soundsEnabled = toastsEnabled = true;
    LoadSettings();
    EXPECT_FALSE(soundsEnabled);
    EXPECT_FALSE(toastsEnabled);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

// Only the installing account gets the key from the setup: every other one
// must still be able to keep a choice.
TEST_F(SettingsTest, StoringWithoutAKeyCreatesItWithThatValueAlone) {
    StoreSetting("SoundsEnabled", true);
    RegValue value = GetValue(HKEY_CURRENT_USER, kSettingsKey, "SoundsEnabled");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), value.type);
    EXPECT_EQ(std::string("\x01", 1), value.bytes);
    EXPECT_FALSE(GetValue(HKEY_CURRENT_USER, kSettingsKey, "ToastsEnabled").present);
    LoadSettings();
    EXPECT_TRUE(soundsEnabled);
    EXPECT_FALSE(toastsEnabled);
}

TEST_F(SettingsTest, OnlyAFirstByteOfOneTurnsAFlagOn) {
    CreateSettingsKey();
    struct Case {
        std::string bytes;
        DWORD type;
        bool on;
    } cases[] = {
        {std::string("\x01", 1), REG_BINARY, true},
        {std::string("\x00", 1), REG_BINARY, false},
        {std::string("\x02", 1), REG_BINARY, false},
        {std::string("", 0), REG_BINARY, false},
        {std::string("\x01\x00\x00\x00", 4), REG_DWORD, true},
        {std::string(70000, '\x01'), REG_BINARY, true}, // any length
        {std::string("1\0", 2), REG_SZ, false},         // the character '1' is not the byte 1
    };
    for (const Case& c : cases) {
        PutSettingValue("SoundsEnabled", c.bytes, c.type);
        LoadSettings();
        EXPECT_EQ(c.on, soundsEnabled) << "size " << c.bytes.size() << " type " << c.type;
    }
}

TEST_F(SettingsTest, EachValueIsReadOnItsOwn) {
    CreateSettingsKey();
    PutSettingValue("SoundsEnabled", std::string("\x01", 1));
    LoadSettings();
    EXPECT_TRUE(soundsEnabled);
    EXPECT_FALSE(toastsEnabled);
}

TEST_F(SettingsTest, StoreWritesOneBinaryByte) {
    CreateSettingsKey();
    StoreSetting("ToastsEnabled", true);
    RegValue value = GetValue(HKEY_CURRENT_USER, kSettingsKey, "ToastsEnabled");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), value.type);
    EXPECT_EQ(std::string("\x01", 1), value.bytes);
    StoreSetting("ToastsEnabled", false);
    EXPECT_EQ(std::string("\x00", 1),
              GetValue(HKEY_CURRENT_USER, kSettingsKey, "ToastsEnabled").bytes);
    LoadSettings();
    EXPECT_FALSE(toastsEnabled);
}

} // namespace
