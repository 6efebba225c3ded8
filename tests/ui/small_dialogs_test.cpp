// The About, Help, Confirm Delete, Options and Error dialogs, opened from
// the test executable's own templates and driven like a user would.
#include "ui_test_support.h"

#include "database/settings.h"
#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/ui_entry.h"

#include <gtest/gtest.h>

using testing_support::GetValue;
using testing_support::UiDriver;
using namespace ui_test;

namespace {

INT_PTR Open(int templateId, DLGPROC procedure) {
    return DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(templateId), nullptr, procedure, 0);
}

struct DialogCase {
    int templateId;
    DLGPROC procedure;
    const char* caption;
};

class SmallDialogTest : public UiTest {};

// Every dialog opens with its caption, the plug-in's big icon and the banner,
// and frees the banner's bitmap when it closes (Wine's static control would
// keep each one: 75 KB per opening).
TEST_F(SmallDialogTest, EveryDialogShowsCaptionIconAndBannerAndFreesIt) {
    const DialogCase cases[] = {
        {IDD_ABOUT, AboutProc, "About - Sonabell Plugin"},
        {IDD_HELP, OkCancelProc, kHelp},
        {IDD_ERROR, ErrorProc, kErrorDialog},
        {IDD_CONFIRM_DELETE, OkCancelProc, kConfirmDelete},
        {IDD_OPTIONS, OptionsProc, kOptions},
        {IDD_SOUNDPACK, SoundpackProc, kSoundpackDialog},
        {IDD_ADD_SOUND, AddSoundProc, kAddSounds},
        {IDD_CONFIG_PANEL, ConfigPanelProc, kPanel},
    };
    for (const auto& dialogCase : cases) {
        SCOPED_TRACE(dialogCase.caption);
        HICON icon = nullptr;
        HGDIOBJ banner = nullptr;
        driver.Expect(dialogCase.caption, [&](HWND dialog) {
            icon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
            // The banner is the first bitmap static of each template.
            for (HWND child = GetWindow(dialog, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && !banner)
                    banner = reinterpret_cast<HGDIOBJ>(
                        SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
            }
            UiDriver::Click(dialog, IDCANCEL);
        });
        Open(dialogCase.templateId, dialogCase.procedure);
        EXPECT_EQ(pluginIcon, icon);
        EXPECT_NE(nullptr, pluginIcon);
        ASSERT_NE(nullptr, banner);
        EXPECT_EQ(0u, GetObjectType(banner)) << "the banner bitmap outlived its dialog";
    }
}

TEST_F(SmallDialogTest, AboutShowsTheVersionAndClosesEveryWay) {
    std::string version;
    driver.Expect("About - Sonabell Plugin", [&](HWND dialog) {
        version = UiDriver::ControlText(dialog, IDC_VERSION);
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_ABOUT, AboutProc));
    EXPECT_EQ("2.01.001", version);
    // Escape and the close box end it too, with the Cancel command.
    driver.Expect("About - Sonabell Plugin", UiDriver::Press(IDCANCEL));
    EXPECT_EQ(2, Open(IDD_ABOUT, AboutProc));
    driver.Expect("About - Sonabell Plugin",
                  [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(RunAboutDialog());
}

TEST_F(SmallDialogTest, OkCancelDialogsGiveOneOrTwo) {
    const struct {
        const char* caption;
        int templateId;
        int press; // 0: the close box
        INT_PTR result;
    } cases[] = {
        {kConfirmDelete, IDD_CONFIRM_DELETE, IDOK, 1},
        {kConfirmDelete, IDD_CONFIRM_DELETE, IDCANCEL, 2},
        {kConfirmDelete, IDD_CONFIRM_DELETE, 0, 2},
        {kHelp, IDD_HELP, IDOK, 1},
        {kHelp, IDD_HELP, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + " " + std::to_string(c.press));
        driver.Expect(c.caption, [&](HWND dialog) {
            if (c.press)
                UiDriver::Click(dialog, c.press);
            else
                PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(c.result, Open(c.templateId, OkCancelProc));
    }
}

TEST_F(SmallDialogTest, HelpExplainsCommandsAndSoundpacks) {
    std::string help;
    driver.Expect(kHelp, [&](HWND dialog) {
        help = UiDriver::ControlText(dialog, IDC_HELP_TEXT);
        UiDriver::Click(dialog, IDOK);
    });
    Open(IDD_HELP, OkCancelProc);
    for (const char* word :
         {"/xSBwelcome", "/x7", "/xSBabout", "/xSBconfig", "/xSBoptions", "/xSBreload",
          "/xSBenable", "/xSBdisable", "/xSBDumpDatabase", "install.ini", "7.mp3",
          "Sonabell folder", "AIFF", "Opus", "WMA and M4A"})
        EXPECT_NE(std::string::npos, help.find(word)) << word;
}

TEST_F(SmallDialogTest, ErrorDialogShowsTheReportAndEmptiesIt) {
    errorReport = "first line\r\nsecond line";
    std::string shown, reportWhileOpen = "not read";
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        reportWhileOpen = errorReport;
        // Text added while it is open waits for the next Error dialog.
        errorReport = "later";
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_ERROR, ErrorProc));
    EXPECT_EQ("first line\r\nsecond line", shown);
    EXPECT_EQ("", reportWhileOpen);
    EXPECT_EQ("later", errorReport);

    errorReport.clear();
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        UiDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(2, Open(IDD_ERROR, ErrorProc));
    EXPECT_EQ("", shown);
}

std::string StoredToasts() {
    auto value = GetValue(HKEY_CURRENT_USER, testing_support::kSettingsKey, "ToastsEnabled");
    return value.present ? value.bytes : "absent";
}

TEST_F(SmallDialogTest, OptionsStoreTheToastSwitchAtEachClick) {
    testing_support::CreateSettingsKey();
    toastsEnabled = false;
    UINT initialState = 99;
    std::vector<std::string> stored;
    std::vector<bool> inMemory;
    driver.Expect(kOptions, [&](HWND dialog) {
        initialState = IsDlgButtonChecked(dialog, IDC_ENABLE_TOASTS);
        HWND box = GetDlgItem(dialog, IDC_ENABLE_TOASTS);
        for (int click = 0; click < 2; ++click) {
            SendMessageA(box, BM_CLICK, 0, 0);
            stored.push_back(StoredToasts());
            inMemory.push_back(toastsEnabled);
        }
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_TRUE(RunOptionsDialog());
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), initialState);
    EXPECT_EQ((std::vector<std::string>{std::string(1, '\1'), std::string(1, '\0')}), stored);
    EXPECT_EQ((std::vector<bool>{true, false}), inMemory);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY),
              GetValue(HKEY_CURRENT_USER, testing_support::kSettingsKey, "ToastsEnabled").type);
}

TEST_F(SmallDialogTest, OptionsCancelKeepsWhatWasClicked) {
    testing_support::CreateSettingsKey();
    toastsEnabled = false;
    driver.Expect(kOptions, [&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_ENABLE_TOASTS), BM_CLICK, 0, 0);
        UiDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(2, Open(IDD_OPTIONS, OptionsProc));
    EXPECT_TRUE(toastsEnabled);
    EXPECT_EQ(std::string(1, '\1'), StoredToasts());
}

TEST_F(SmallDialogTest, OptionsWithoutSettingsKeyCreateItAndStore) {
    toastsEnabled = true;
    UINT initialState = 99;
    driver.Expect(kOptions, [&](HWND dialog) {
        initialState = IsDlgButtonChecked(dialog, IDC_ENABLE_TOASTS);
        SendMessageA(GetDlgItem(dialog, IDC_ENABLE_TOASTS), BM_CLICK, 0, 0);
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_OPTIONS, OptionsProc));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), initialState);
    EXPECT_FALSE(toastsEnabled);
    EXPECT_EQ(std::string(1, '\0'), StoredToasts());
}

} // namespace
