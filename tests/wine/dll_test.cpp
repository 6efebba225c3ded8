// The built DLL, loaded by path exactly as the host loads it.
#include "clean_state.h"
#include "plugin_dll.h"
#include "ui_driver.h"

#include "ui/resource.h"

#include <cstring>
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

TEST_F(DllTest, InitializeLoadsTheRegistryAndCyclesCleanly) {
    PutSound("1", "a", "a.mp3", "m");
    EXPECT_EQ(1, dll.Initialize(0, 0, 0));
    dll.Uninitialize();
    ResourceCounts before = CurrentResourceCounts();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        dll.Uninitialize();
    }
    ResourceCounts after = CurrentResourceCounts();
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 2);
    EXPECT_LE(after.userObjects, before.userObjects + 2);
    EXPECT_EQ(0, dll.ParseTag(0, 0, 0));
}

TEST_F(DllTest, ReloadingTheDllStartsFromFreshGlobals) {
    PutSound("1", "a", "a.mp3", "m");
    dll.Initialize(0, 0, 0);
    dll.Uninitialize();          // a host ends the plug-in before it unloads it
    dll.Load(SONABELL_DLL_PATH); // FreeLibrary, then LoadLibrary
    ASSERT_NE(nullptr, dll.module);
    EXPECT_EQ(1, dll.Initialize(0, 0, 0));
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
