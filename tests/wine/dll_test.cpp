// The built DLL, loaded by path exactly as the host loads it.
#include "clean_state.h"
#include "plugin_dll.h"
#include "ui_driver.h"

#include "ui/resource.h"

#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

class DllTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        dll.Load(SONABELL_DLL_PATH);
    }
    void TearDown() override {
        dll.Unload();
        CleanRegistryTest::TearDown();
    }
    PluginDll dll;
};

TEST_F(DllTest, ExportsTheHousekeepingEntryPointsByPlainName) {
    EXPECT_NE(nullptr, dll.Initialize);
    EXPECT_NE(nullptr, dll.Uninitialize);
    EXPECT_NE(nullptr, dll.PublishInfo);
    EXPECT_NE(nullptr, dll.ParseTag);
}

TEST_F(DllTest, PublishInfoTouchesNothingButItsFields) {
    std::vector<unsigned char> info(14000, 0xA5);
    char name[32];
    std::memset(name, 0xA5, sizeof name);
    int reserved = -1;
    ASSERT_EQ(1, dll.PublishInfo(name, info.data(), &reserved));
    EXPECT_STREQ("Sonabell", name);
    EXPECT_EQ(static_cast<char>(0xA5), name[9]);
    EXPECT_EQ(0, reserved);
    int count;
    std::memcpy(&count, info.data(), 4);
    EXPECT_EQ(2, count);
    EXPECT_STREQ("About", reinterpret_cast<char*>(&info[4]));
    EXPECT_STREQ("Configure", reinterpret_cast<char*>(&info[132]));
    EXPECT_STREQ("xSBabout", reinterpret_cast<char*>(&info[6404]));
    EXPECT_STREQ("xSBconfig", reinterpret_cast<char*>(&info[6532]));
    EXPECT_EQ(0, info[12804]);
    EXPECT_EQ(0, info[13060]);
    size_t touched = 0;
    for (unsigned char byte : info)
        touched += byte != 0xA5;
    // 4 + "About" 6 + "Configure" 10 + "xSBabout" 9 + "xSBconfig" 10 + 2 NULs,
    // less the count's three zero bytes that differ from the canary.
    EXPECT_EQ(4u + 6 + 10 + 9 + 10 + 2, touched);
}

// The sound line the loaded table gives for /xSBa, or what the DLL answers
// when it has no such sound.
std::string AnswerTo(const PluginDll& dll, const char* word) {
    std::vector<char> result(1024 + 64, '\xA5');
    if (dll.ParseCommand(word, "", 0, result.data()) != 1)
        return "(declined)";
    return std::string(result.data());
}

const char kMissingLine[] = "\x03"
                            "7Sonabell Plugin: Sorry you do not have the file requested "
                            "installed on your computer";

std::string AnswerToNotify(const PluginDll& dll, const char* code) {
    std::vector<char> result(1024 + 64, '\xA5');
    if (dll.ReceiveNotify(code, 0, 0, result.data()) != 1)
        return "(declined)";
    return std::string(result.data());
}

TEST_F(DllTest, InitializeLoadsTheRegistryAndCyclesCleanly) {
    PutSound("1", "a", "a.mp3", "m");
    CountedWindow window;
    const std::string registry = SnapshotRegistry();
    EXPECT_EQ(1, dll.Initialize(0, 0, 0));
    EXPECT_EQ("\x12SB1  m", AnswerTo(dll, "/xSBa"));
    // Initialize waits for a device only briefly; meanwhile the engine goes
    // on trying each output, loading what stays loaded for the process's
    // life (winmm.dll among them). On a slow machine that takes seconds: let
    // it finish before counting, so the cycles below count only what they
    // keep.
    // A quick cycle after it, as the ones counted are, loads what a session
    // that follows a device-less one keeps.
    Sleep(3000);
    dll.Uninitialize();
    EXPECT_EQ("(declined)", AnswerTo(dll, "/xSBa")) << "the table outlived Uninitialize";
    ASSERT_EQ(1, dll.Initialize(0, 0, 0));
    dll.Uninitialize();
    ResourceCounts before = CurrentResourceCounts();
    ExpectCountsLive(before);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        ASSERT_EQ("\x12SB1  m", AnswerTo(dll, "/xSBa")) << "cycle " << i;
        dll.Uninitialize();
    }
    // The engine's thread leaves COM as it found it, and the system tears the
    // multithreaded apartment down a moment after the thread ends (Wine:
    // within a few hundred ms, seconds in the emulated 32-bit lane); a leak
    // stays.
    ResourceCounts after = CurrentResourceCounts();
    for (int i = 0; i < 200 && after.handles > before.handles + 2; ++i) {
        Sleep(50);
        after = CurrentResourceCounts();
    }
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.userObjects, before.userObjects + 2);
    EXPECT_LE(after.privateBytes, before.privateBytes + 1024 * 1024);
    EXPECT_EQ(registry, SnapshotRegistry());
    EXPECT_EQ(0, dll.ParseTag(0, 0, 0));
}

// The settings outlive Uninitialize in the loaded module; only a new load
// starts from the file's own values (sounds and toasts on). With toasts off,
// a missing file is answered by an error line; with them on, by a toast.
TEST_F(DllTest, ReloadingTheDllStartsFromFreshGlobals) {
    PutSound("1", "a", "a.mp3", "m");
    CreateSettingsKey();
    HKEY settings;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &settings));
    const BYTE off = 0;
    RegSetValueExA(settings, "SoundsEnabled", 0, REG_BINARY, &off, 1);
    RegSetValueExA(settings, "ToastsEnabled", 0, REG_BINARY, &off, 1);
    RegCloseKey(settings);
    ASSERT_EQ(1, dll.Initialize(0, 0, 0));
    ASSERT_EQ(kMissingLine, AnswerToNotify(dll, "SB7"));
    dll.Uninitialize(); // a host ends the plug-in before it unloads it
    ASSERT_EQ(kMissingLine, AnswerToNotify(dll, "SB7")) << "the loaded module keeps its settings";

    dll.Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA("Sonabell.dll")) << "FreeLibrary left the DLL loaded";
    dll.Load(SONABELL_DLL_PATH);
    ASSERT_NE(nullptr, dll.module);
    EXPECT_EQ("", AnswerToNotify(dll, "SB7")) << "the new load kept the old settings";
    EXPECT_EQ("(declined)", AnswerTo(dll, "/xSBa")) << "the new load kept the old table";
    EXPECT_EQ(1, dll.Initialize(0, 0, 0));
    EXPECT_EQ("\x12SB1  m", AnswerTo(dll, "/xSBa"));
    dll.Uninitialize();
}

// Every account but the one that ran the setup starts without the settings
// key. A switch changed there must still be on after the host unloads the
// plug-in and loads it again, and reading it must create nothing.
TEST_F(DllTest, ASwitchChangedWithoutTheSettingsKeySurvivesAFreshLoad) {
    struct Case {
        const char* command;
        const char* caption;
        int checkbox;
        const char* value;
    } cases[] = {
        {"/xSBconfig", "Sonabell Config Panel", IDC_ENABLE_SOUNDS, "SoundsEnabled"},
        {"/xSBoptions", "Dialog", IDC_ENABLE_TOASTS, "ToastsEnabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ResetRegistry();
        dll.Load(SONABELL_DLL_PATH);
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "reading created the key";

        UiDriver driver;
        UINT before = 99;
        driver.Expect(c.caption, [&](HWND dialog) {
            before = IsDlgButtonChecked(dialog, c.checkbox);
            SendMessageA(GetDlgItem(dialog, c.checkbox), BM_CLICK, 0, 0);
            UiDriver::Click(dialog, IDOK);
        });
        char result[1024] = "";
        dll.ParseCommand(c.command, "", 0, result);
        dll.Uninitialize();
        EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), before) << "no key: the switch starts off";

        dll.Load(SONABELL_DLL_PATH);
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        UINT after = 99;
        driver.Expect(c.caption, [&](HWND dialog) {
            after = IsDlgButtonChecked(dialog, c.checkbox);
            UiDriver::Click(dialog, IDCANCEL);
        });
        dll.ParseCommand(c.command, "", 0, result);
        dll.Uninitialize();
        EXPECT_EQ(static_cast<UINT>(BST_CHECKED), after) << "the change was lost";
        EXPECT_EQ(std::string(1, '\1'), GetValue(HKEY_CURRENT_USER, kSettingsKey, c.value).bytes);
        EXPECT_TRUE(driver.unexpected.empty());
    }
}

} // namespace
