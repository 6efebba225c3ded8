// The soundpack dialog through the panel's SoundPacks button: its messages,
// the busy guard, the control disabling and the panel's re-open rule.
#include "ui_test_support.h"

#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "soundpack/soundpack.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using testing_support::SoundKeys;
using testing_support::UiDriver;
using namespace ui_test;

namespace {

const char kInstallUnreadable[] =
    "Could not open the specified install.ini file. Please check that the file exists, and that "
    "you have the relevant permissions to open it";
const char kUninstallUnreadable[] =
    "Could not open the specified soundpack.ini file. Please check that the file exists, and "
    "that you have the relevant permissions to open it";
const char kInstallNoSounds[] =
    "Could not determine the number of sounds to add. Either the install.ini file adds 0 sounds, "
    "or the file is in some way corrupt. Please try downloading the soundpack again, and if the "
    "problem persists, please contact the maker of the soundpack for help.";
const char kUninstallNoSounds[] =
    "Could not determine the number of sounds to remove. Either the soundpack.ini file lists 0 "
    "sounds, or the file is in some way corrupt, so nothing was removed.";

std::string TempFile(const char* name, const std::string& contents) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + name;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(contents.data(), 1, contents.size(), file);
        std::fclose(file);
    }
    return path;
}

const char kEmptyPack[] = "[Header]\r\nTotalSounds=0\r\n";
const char kTwoSoundPack[] = "[Header]\r\nTotalSounds=2\r\n"
                             "[Sound1]\r\nSoundIndex=5\r\nCommand=five\r\nFilename=five.mp3\r\n"
                             "Message=Five\r\n"
                             "[Sound2]\r\nSoundIndex=6\r\nCommand=six\r\nFilename=six.mp3\r\n"
                             "Message=Six\r\n";

size_t Openings(const UiDriver& driver, const char* caption) {
    return static_cast<size_t>(std::count_if(driver.seen.begin(), driver.seen.end(),
                                             [&](const auto& w) { return w.caption == caption; }));
}

class SoundpackDialogTest : public UiTest {
  protected:
    // Opens the panel and its SoundPacks dialog, types the path and presses
    // one button (0: none); `then` runs as a step after the press.
    void OpenDialog(const std::string& path, int button, std::function<void()> then = nullptr) {
        driver.Expect(kPanel, [this](HWND panel) {
            panelWindow_ = panel;
            UiDriver::Click(panel, IDC_SOUNDPACKS);
        });
        driver.Expect(kSoundpackDialog, [=](HWND dialog) {
            packDialog_ = dialog;
            Type(dialog, IDC_FILENAME, path);
            if (button)
                UiDriver::Click(dialog, button);
            if (then)
                driver.Later(then);
        });
    }
    // Cancels the soundpack dialog, then closes the panel (if it is still
    // the one that opened it).
    void FinishLater() {
        driver.Later([this] {
            if (IsWindow(packDialog_))
                UiDriver::Click(packDialog_, IDCANCEL);
            driver.Later([this] {
                if (IsWindow(panelWindow_))
                    UiDriver::Click(panelWindow_, IDOK);
            });
        });
    }
    void ExpectError(std::string& shown) {
        driver.Expect(kErrorDialog, [&shown, this](HWND dialog) {
            shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
            for (int id : {IDOK, IDC_UNINSTALL, IDCANCEL, IDC_BROWSE, IDC_FILENAME})
                enabledDuringError_.push_back(IsWindowEnabled(GetDlgItem(packDialog_, id)) != 0);
            UiDriver::Click(dialog, IDOK);
            FinishLater();
        });
    }
    HWND panelWindow_ = nullptr;
    HWND packDialog_ = nullptr;
    std::vector<bool> enabledDuringError_;
};

TEST_F(SoundpackDialogTest, EmptyPathDoesNothing) {
    // Install: nothing at all. Uninstall: asks first, then nothing.
    OpenDialog("", IDOK, [this] {
        EXPECT_TRUE(IsWindow(packDialog_));
        UiDriver::Click(packDialog_, IDC_UNINSTALL);
    });
    driver.Expect(kConfirmDelete, [this](HWND dialog) {
        UiDriver::Click(dialog, IDOK);
        FinishLater();
    });
    std::string before = testing_support::SnapshotRegistry();
    RunPanel();
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ(1u, Openings(driver, kPanel));
    EXPECT_FALSE(soundpackBusy);
}

TEST_F(SoundpackDialogTest, UnreadableFilesAreReportedAndTheDialogStays) {
    const std::string missing = "C:\\no\\such\\pack.ini";
    for (bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall);
        enabledDuringError_.clear();
        std::string shown;
        OpenDialog(missing, uninstall ? IDC_UNINSTALL : IDOK);
        if (uninstall)
            driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
        ExpectError(shown);
        RunPanel();
        EXPECT_EQ(uninstall ? kUninstallUnreadable : kInstallUnreadable, shown);
        // An uninstall disables the dialog's controls while it runs.
        EXPECT_EQ(std::vector<bool>(5, !uninstall), enabledDuringError_);
        EXPECT_FALSE(soundpackBusy);
        driver.seen.clear();
    }
    // Enabled again afterwards: a later test of the same dialog would see it.
    EXPECT_EQ(0u, driver.Pending());
}

TEST_F(SoundpackDialogTest, UninstallCancelledRemovesNothing) {
    GiveSounds({{"5", "five", "", ""}});
    std::string pack = TempFile("sb_pack.ini", kTwoSoundPack);
    OpenDialog(pack, IDC_UNINSTALL);
    driver.Expect(kConfirmDelete, [this](HWND dialog) {
        UiDriver::Click(dialog, IDCANCEL);
        FinishLater();
    });
    RunPanel();
    EXPECT_EQ(1u, SoundKeys().size());
    EXPECT_EQ(1u, Openings(driver, kPanel));
    DeleteFileA(pack.c_str());
}

TEST_F(SoundpackDialogTest, BusyInstallIgnoresInstallAndUninstall) {
    soundpackBusy = true;
    OpenDialog("C:\\no\\such\\pack.ini", IDOK, [this] {
        UiDriver::Click(packDialog_, IDC_UNINSTALL);
        FinishLater();
    });
    RunPanel();
    // No Error dialog and no question: both commands did nothing.
    EXPECT_EQ(2u, driver.seen.size());
    EXPECT_TRUE(soundpackBusy);
}

TEST_F(SoundpackDialogTest, CancelReopensThePanelOnlyAfterAnEarlierChange) {
    for (bool changedBefore : {false, true}) {
        SCOPED_TRACE(changedBefore);
        databaseChanged = changedBefore;
        OpenDialog("", 0, [this, changedBefore] {
            UiDriver::Click(packDialog_, IDCANCEL);
            if (!changedBefore)
                driver.Later([this] { UiDriver::Click(panelWindow_, IDOK); });
        });
        if (changedBefore)
            driver.Expect(kPanel, UiDriver::Press(IDOK));
        RunPanel();
        EXPECT_EQ(changedBefore ? 2u : 1u, Openings(driver, kPanel));
        EXPECT_FALSE(databaseChanged);
        driver.seen.clear();
    }
}

TEST_F(SoundpackDialogTest, PacksOfNoSoundsAreReportedBothWays) {
    std::string pack = TempFile("sb_empty.ini", kEmptyPack);
    for (bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall);
        std::string shown;
        OpenDialog(pack, uninstall ? IDC_UNINSTALL : IDOK);
        if (uninstall)
            driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
        ExpectError(shown);
        RunPanel();
        EXPECT_EQ(uninstall ? kUninstallNoSounds : kInstallNoSounds, shown);
        EXPECT_EQ(1u, Openings(driver, kPanel));
        driver.seen.clear();
    }
    DeleteFileA(pack.c_str());
}

TEST_F(SoundpackDialogTest, InstallShowsFailedSoundsThenReopensThePanel) {
    GiveSounds({{"5", "mine", "mine.mp3", "Mine"}});
    std::string pack = TempFile("sb_pack.ini", kTwoSoundPack);
    std::string shown;
    Rows reopened;
    OpenDialog(pack, IDOK);
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        UiDriver::Click(dialog, IDOK);
    });
    driver.Expect(kPanel, [&](HWND panel) {
        reopened = ListRows(PanelList(panel));
        UiDriver::Click(panel, IDOK);
    });
    RunPanel();
    EXPECT_NE(std::string::npos, shown.find("Sound number 5 already exists")) << shown;
    EXPECT_EQ(2u, reopened.size());
    EXPECT_FALSE(databaseChanged);

    // Uninstalled again: both of its sounds go, and the panel re-opens.
    driver.seen.clear();
    OpenDialog(pack, IDC_UNINSTALL);
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    driver.Expect(kPanel, [&](HWND panel) {
        reopened = ListRows(PanelList(panel));
        UiDriver::Click(panel, IDOK);
    });
    RunPanel();
    EXPECT_TRUE(reopened.empty());
    EXPECT_TRUE(SoundKeys().empty());
    DeleteFileA(pack.c_str());
}

// While an install shows a number box (no owner), the soundpack dialog stays
// usable: Install and Uninstall pressed then must do nothing.
TEST_F(SoundpackDialogTest, CommandsWaitWhileAnInstallShowsItsNumberBox) {
    std::string pack = TempFile("sb_incomplete.ini", "[Header]\r\nTotalSounds=2\r\n"
                                                     "[Sound1]\r\nSoundIndex=8\r\nCommand=eight\r\n"
                                                     "Filename=eight.mp3\r\n"
                                                     "[Sound2]\r\nSoundIndex=9\r\nCommand=nine\r\n"
                                                     "Filename=nine.mp3\r\nMessage=Nine\r\n");
    std::string shown;
    bool dialogUsable = false;
    OpenDialog(pack, IDOK);
    driver.Expect("Unspecified Error Code\n\n", [&](HWND box) {
        dialogUsable = IsWindowEnabled(packDialog_) != 0;
        UiDriver::Click(packDialog_, IDOK);
        UiDriver::Click(packDialog_, IDC_UNINSTALL);
        driver.Later([box] { UiDriver::Click(box, IDOK); });
    });
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        UiDriver::Click(dialog, IDOK);
    });
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_TRUE(dialogUsable);
    EXPECT_NE(std::string::npos, shown.find("Sound number 8")) << shown;
    EXPECT_EQ((std::vector<std::string>{"9"}), SoundKeys());
    EXPECT_EQ(1u, Openings(driver, kSoundpackDialog));
    EXPECT_FALSE(soundpackBusy);
    DeleteFileA(pack.c_str());
}

} // namespace
