// The configuration panel under Wine: its list read back, real mouse input
// on the list view, its commands and their registry effects, and the config
// sub-command's re-open loop.
#include "ui_test_support.h"

#include "audio/player.h"
#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "recording_engine.h"
#include "soundpack/diagnostics.h"
#include "ui/panel_state.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/ui_entry.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

using testing_support::SoundKeys;
using testing_support::UiDriver;
using namespace ui_test;

namespace {

const std::vector<Sound> kThree = {
    {"1", "hi", "\\hi.mp3", "Hello!"},
    {"5", "bye", "\\bye.wav", "See you"},
    {"12", "boom", "\\boom.mp3", ""},
};

class ConfigPanelTest : public UiTest {};

TEST_F(ConfigPanelTest, ListsEverySoundInTableOrder) {
    GiveSounds(kThree);
    Rows rows;
    std::vector<std::string> titles;
    UINT firstState = 0;
    driver.Expect(kPanel, [&](HWND panel) {
        rows = ListRows(PanelList(panel));
        titles = ColumnTitles(PanelList(panel));
        firstState =
            static_cast<UINT>(SendMessageA(PanelList(panel), LVM_GETITEMSTATE, 0, LVIS_SELECTED));
        UiDriver::Click(panel, IDOK);
    });
    EXPECT_EQ("", RunPanel());
    EXPECT_EQ((std::vector<std::string>{"Index", "Command", "Filename", "Default Message"}),
              titles);
    ASSERT_EQ(3u, rows.size());
    for (int slot = 0; slot < 3; ++slot) {
        const SoundRecord* record = soundTable.slots[slot];
        EXPECT_EQ((std::vector<std::string>{record->indexText, record->command, record->filename,
                                            record->message}),
                  rows[slot]);
    }
    // Row 0 shows as selected, but nothing is chosen until a click.
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), firstState);
    EXPECT_EQ(-1, selectedRow);
}

TEST_F(ConfigPanelTest, NothingChosenGivesTheMessagesForDeleteAndPlay) {
    const struct {
        int command;
        const char* message;
    } cases[] = {
        {IDC_DELETE, "You have not chosen a sound to delete. Please choose a sound before trying "
                     "to delete it"},
        {IDC_PLAY, "You have not chosen a sound to play. Please choose a sound before trying to "
                   "play it"},
    };
    for (bool withSounds : {false, true}) {
        if (withSounds)
            GiveSounds(kThree);
        for (const auto& c : cases) {
            std::string shown;
            size_t rowsShown = 99;
            HWND panelWindow = nullptr;
            driver.Expect(kPanel, [&](HWND panel) {
                panelWindow = panel;
                rowsShown = ListRows(PanelList(panel)).size();
                UiDriver::Click(panel, c.command);
            });
            driver.Expect(kErrorDialog, [&](HWND dialog) {
                shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
                UiDriver::Click(dialog, IDOK);
                // The panel stays open after the message: close it.
                driver.Later([&] { UiDriver::Click(panelWindow, IDOK); });
            });
            std::string snapshot = testing_support::SnapshotRegistry();
            RunPanel();
            EXPECT_EQ(c.message, shown);
            EXPECT_EQ(withSounds ? 3u : 0u, rowsShown);
            EXPECT_EQ("", errorReport);
            EXPECT_EQ(snapshot, testing_support::SnapshotRegistry());
        }
    }
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Stream").empty());
}

std::vector<std::string> Without(const std::vector<std::string>& keys, const std::string& gone) {
    std::vector<std::string> left;
    for (const auto& key : keys)
        if (key != gone)
            left.push_back(key);
    return left;
}

TEST_F(ConfigPanelTest, ClickOnAnyColumnChoosesTheRow) {
    GiveSounds(kThree);
    for (int column : {0, 2, 3}) {
        SCOPED_TRACE(column);
        selectedRow = -1;
        UINT state = 0;
        HWND panelWindow = nullptr;
        driver.Expect(kPanel, [&](HWND panel) {
            panelWindow = panel;
            ClickRow(PanelList(panel), 2, column);
            driver.Later([&] {
                state = static_cast<UINT>(
                    SendMessageA(PanelList(panelWindow), LVM_GETITEMSTATE, 2, LVIS_SELECTED));
                UiDriver::Click(panelWindow, IDOK);
            });
        });
        EXPECT_EQ("", RunPanel());
        EXPECT_EQ(2, selectedRow);
        EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), state);
    }
    // A click below the last row hits none and keeps the choice.
    driver.Expect(kPanel, [&](HWND panel) {
        HWND list = PanelList(panel);
        RECT client;
        GetClientRect(list, &client);
        LPARAM point = MAKELPARAM(20, client.bottom - 4);
        PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageA(list, WM_LBUTTONUP, 0, point);
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    });
    RunPanel();
    EXPECT_EQ(2, selectedRow);
}

TEST_F(ConfigPanelTest, DoubleClickHandsBackTheCommand) {
    GiveSounds(kThree);
    driver.Expect(kPanel, [&](HWND panel) { DoubleClickRow(PanelList(panel), 1, 1); });
    std::string expected = std::string("/xSB") + soundTable.slots[1]->command;
    EXPECT_EQ(expected, RunPanel());
    EXPECT_FALSE(hasChosenCommand);
    EXPECT_EQ(soundTable.slots[1]->command, chosenCommand);
    // Closing gives no command, even though chosenCommand keeps its text.
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    EXPECT_EQ("", RunPanel());
}

TEST_F(ConfigPanelTest, ChosenCommandThatDoesNotFitIsNotSentCut) {
    GiveSounds({{"1", "averylongcommandword", "\\a.mp3", ""}});
    for (size_t capacity : {8u, 24u, 25u}) {
        SCOPED_TRACE(capacity);
        driver.Expect(kPanel, [&](HWND panel) { DoubleClickRow(PanelList(panel), 0); });
        char result[32];
        std::memset(result, 'x', sizeof result);
        EXPECT_TRUE(RunConfigPanel(result, capacity));
        EXPECT_EQ(capacity > 24 ? "/xSBaverylongcommandword" : "", std::string(result));
        EXPECT_EQ('x', result[capacity]); // nothing written past the capacity
    }
}

TEST_F(ConfigPanelTest, EscapeEndsThePanelWithoutCommand) {
    GiveSounds(kThree);
    driver.Expect(kPanel, UiDriver::Press(IDCANCEL));
    EXPECT_EQ(2, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG_PANEL),
                                 nullptr, ConfigPanelProc, 0));
    EXPECT_FALSE(hasChosenCommand);
}

TEST_F(ConfigPanelTest, DeleteConfirmedRemovesTheClickedSoundAndReopens) {
    GiveSounds(kThree);
    std::string gone = soundTable.slots[1]->indexText;
    Rows reopened;
    driver.Expect(kPanel, [&](HWND panel) {
        ClickRow(PanelList(panel), 1);
        PostMessageA(panel, WM_COMMAND, IDC_DELETE, 0);
    });
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    driver.Expect(kPanel, [&](HWND panel) {
        reopened = ListRows(PanelList(panel));
        UiDriver::Click(panel, IDOK);
    });
    EXPECT_EQ("", RunPanel());
    EXPECT_EQ(Without({"1", "12", "5"}, gone), [] {
        auto keys = SoundKeys();
        std::sort(keys.begin(), keys.end());
        return keys;
    }());
    ASSERT_EQ(2u, reopened.size());
    EXPECT_EQ(2, soundTable.count);
    for (const auto& row : reopened)
        EXPECT_NE(gone, row[0]);
    EXPECT_EQ(1, selectedRow); // now names the next row
}

TEST_F(ConfigPanelTest, DeleteCancelledOrOfNoRecordChangesNothing) {
    GiveSounds(kThree);
    std::string before = testing_support::SnapshotRegistry();
    // Cancelled: the panel stays open.
    HWND panelWindow = nullptr;
    selectedRow = 0;
    driver.Expect(kPanel, [&](HWND panel) {
        panelWindow = panel;
        UiDriver::Click(panel, IDC_DELETE);
    });
    driver.Expect(kConfirmDelete, [&](HWND dialog) {
        UiDriver::Click(dialog, IDCANCEL);
        driver.Later([&] { UiDriver::Click(panelWindow, IDOK); });
    });
    RunPanel();
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ(1u, std::count_if(driver.seen.begin(), driver.seen.end(),
                                [](const auto& w) { return w.caption == kPanel; }));
    // A chosen row past the end of the list names no sound: nothing is
    // deleted, but the panel re-opens all the same.
    selectedRow = 7;
    driver.Expect(kPanel, UiDriver::Press(IDC_DELETE));
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ(3, soundTable.count);
}

TEST_F(ConfigPanelTest, DeleteInAReadOnlyDatabaseSaysSoAndKeepsThePanel) {
    GiveSounds(kThree);
    testing_support::MakeSoundDatabaseReadOnly();
    const std::string before = testing_support::SnapshotRegistry();
    HWND panelWindow = nullptr;
    std::string errorShown;
    driver.Expect(kPanel, [&](HWND panel) {
        panelWindow = panel;
        ClickRow(PanelList(panel), 1);
        PostMessageA(panel, WM_COMMAND, IDC_DELETE, 0);
    });
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        errorShown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        UiDriver::Click(dialog, IDOK);
        driver.Later([&] { UiDriver::Click(panelWindow, IDOK); });
    });
    RunPanel();
    EXPECT_EQ(kReadOnlyDatabaseText, errorShown);
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ(3, soundTable.count);
    EXPECT_EQ(1u, std::count_if(driver.seen.begin(), driver.seen.end(),
                                [](const auto& w) { return w.caption == kPanel; }));
    EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(ConfigPanelTest, ReopensAfterEveryChangeAndKeepsTheChosenRow) {
    GiveSounds({{"1", "a", "", ""}, {"2", "b", "", ""}, {"3", "c", "", ""}, {"4", "d", "", ""}});
    // Choose row 0 in the first opening; each of three openings deletes the
    // chosen row and re-opens, the fourth closes.
    driver.Expect(kPanel, [&](HWND panel) {
        ClickRow(PanelList(panel), 0);
        PostMessageA(panel, WM_COMMAND, IDC_DELETE, 0);
    });
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    for (int again = 0; again < 2; ++again) {
        driver.Expect(kPanel, UiDriver::Press(IDC_DELETE));
        driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    }
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_EQ(4u, std::count_if(driver.seen.begin(), driver.seen.end(),
                                [](const auto& w) { return w.caption == kPanel; }));
    EXPECT_EQ(1u, SoundKeys().size());
    EXPECT_EQ(0, selectedRow);
}

TEST_F(ConfigPanelTest, EnableTheSoundsIsStoredAtOnce) {
    testing_support::CreateSettingsKey();
    soundsEnabled = true;
    std::vector<std::string> stored;
    std::vector<bool> inMemory;
    UINT initialState = 99;
    driver.Expect(kPanel, [&](HWND panel) {
        initialState = IsDlgButtonChecked(panel, IDC_ENABLE_SOUNDS);
        for (int click = 0; click < 2; ++click) {
            SendMessageA(GetDlgItem(panel, IDC_ENABLE_SOUNDS), BM_CLICK, 0, 0);
            auto value = testing_support::GetValue(HKEY_CURRENT_USER, testing_support::kSettingsKey,
                                                   "SoundsEnabled");
            stored.push_back(value.bytes);
            inMemory.push_back(soundsEnabled);
        }
        UiDriver::Click(panel, IDOK);
    });
    RunPanel();
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), initialState);
    EXPECT_EQ((std::vector<std::string>{std::string(1, '\0'), std::string(1, '\1')}), stored);
    EXPECT_EQ((std::vector<bool>{false, true}), inMemory);
}

TEST_F(ConfigPanelTest, OptionsOpenOverThePanel) {
    testing_support::CreateSettingsKey();
    toastsEnabled = true;
    HWND panelWindow = nullptr;
    HWND optionsOwner = nullptr;
    driver.Expect(kPanel, [&](HWND panel) {
        panelWindow = panel;
        UiDriver::Click(panel, IDC_OPTIONS);
    });
    driver.Expect(kOptions, [&](HWND dialog) {
        optionsOwner = GetWindow(dialog, GW_OWNER);
        SendMessageA(GetDlgItem(dialog, IDC_ENABLE_TOASTS), BM_CLICK, 0, 0);
        UiDriver::Click(dialog, IDOK);
        driver.Later([&] { UiDriver::Click(panelWindow, IDOK); });
    });
    RunPanel();
    EXPECT_EQ(panelWindow, optionsOwner);
    EXPECT_FALSE(toastsEnabled);
    EXPECT_EQ(
        std::string(1, '\0'),
        testing_support::GetValue(HKEY_CURRENT_USER, testing_support::kSettingsKey, "ToastsEnabled")
            .bytes);
}

// Play goes through the player with the force flag, so it plays even with
// sounds switched off; the chosen row survives a re-open.
TEST_F(ConfigPanelTest, PlayPlaysTheChosenRowEvenWhenSoundsAreOff) {
    if (ResolveSoundPath("1") == "1.mp3")
        GTEST_SKIP() << "playback is not part of this build";
    GiveSounds(kThree);
    // A plug-in directory whose Sonabell folder holds the sound's file.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string pluginDir = std::string(temp) + "sb_ui_play";
    std::string soundDir = pluginDir + "\\Sonabell";
    CreateDirectoryA(pluginDir.c_str(), nullptr);
    CreateDirectoryA(soundDir.c_str(), nullptr);
    std::string soundFile = soundDir + "\\" + (soundTable.slots[2]->filename + 1);
    CloseHandle(
        CreateFileA(soundFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    HKEY host = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, testing_support::kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &host, nullptr);
    RegSetValueExA(host, "PluginDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(pluginDir.c_str()),
                   static_cast<DWORD>(pluginDir.size() + 1));
    RegCloseKey(host);
    soundsEnabled = false;
    driver.Expect(kPanel, [&](HWND panel) {
        ClickRow(PanelList(panel), 2);
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    });
    RunPanel();
    recording_engine::Reset();
    driver.Expect(kPanel, [&](HWND panel) {
        UiDriver::Click(panel, IDC_PLAY);
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    });
    RunPanel();
    const char* file = soundTable.slots[2]->filename;
    auto opens = recording_engine::CallsStartingWith("FSOUND_Stream_OpenFile(");
    ASSERT_FALSE(opens.empty());
    EXPECT_NE(std::string::npos, opens.back().find(file + 1)) << opens.back();
    EXPECT_FALSE(recording_engine::CallsStartingWith("FSOUND_Stream_Play").empty());
    DeleteFileA(soundFile.c_str());
    RemoveDirectoryA(soundDir.c_str());
    RemoveDirectoryA(pluginDir.c_str());
}

int SlotOf(const char* index) {
    for (int i = 0; i < soundTable.count; ++i)
        if (soundTable.slots[i] && std::strcmp(soundTable.slots[i]->indexText, index) == 0)
            return i;
    return -1;
}

// A soundpack can give an index longer than 3 characters. Its row must not
// be read as its first three: "1000" is not sound 100.
TEST_F(ConfigPanelTest, LongIndexRowsActOnTheirOwnSound) {
    GiveSounds({{"100", "hundred", "\\100.mp3", ""}, {"1000", "thousand", "\\1000.mp3", ""}});
    const int row = SlotOf("1000");
    ASSERT_NE(-1, row);
    std::string editedCommand;
    HWND panelWindow = nullptr;
    driver.Expect(kPanel, [&](HWND panel) {
        panelWindow = panel;
        ClickRow(PanelList(panel), row);
        PostMessageA(panel, WM_COMMAND, IDC_EDIT, 0);
    });
    driver.Expect(kAddSounds, [&](HWND dialog) {
        editedCommand = UiDriver::ControlText(dialog, IDC_COMMAND);
        UiDriver::Click(dialog, IDCANCEL);
        driver.Later([&] { PostMessageA(panelWindow, WM_COMMAND, IDC_DELETE, 0); });
    });
    driver.Expect(kConfirmDelete, UiDriver::Press(IDOK));
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_EQ("thousand", editedCommand);
    EXPECT_EQ((std::vector<std::string>{"100"}), SoundKeys());
    EXPECT_TRUE(driver.unexpected.empty());
}

// The panel has no owner, so the chat can ask for it again while it is
// open: the open one is the only one, and it keeps working.
TEST_F(ConfigPanelTest, ConfigAskedAgainWhileOpenKeepsOnePanel) {
    GiveSounds(kThree);
    char again[16];
    std::memset(again, 'x', sizeof again);
    bool handled = false;
    driver.Expect(kPanel, [&](HWND panel) {
        handled = RunConfigPanel(again, sizeof again);
        DoubleClickRow(PanelList(panel), 1);
    });
    EXPECT_EQ(std::string("/xSB") + soundTable.slots[1]->command, RunPanel());
    EXPECT_TRUE(handled);
    EXPECT_EQ("", std::string(again));
    EXPECT_TRUE(driver.unexpected.empty());
}

// A "reload" typed in the chat while the panel is open rebuilds the table in
// registry order under the rows; a double-click still sends the sound its
// row shows.
TEST_F(ConfigPanelTest, ActivationAfterAReloadSendsTheSoundTheRowShows) {
    GiveSounds({{"1", "one", "", ""}, {"2", "two", "", ""}, {"5", "five", "", ""}});
    testing_support::PutSound("3", "three", "", "");
    LoadSounds(); // as after an add: the new sound comes last
    ASSERT_EQ(3, SlotOf("3"));
    driver.Expect(kPanel, [&](HWND panel) {
        ClearSoundTable();
        LoadSounds();
        ASSERT_NE(3, SlotOf("3"));
        DoubleClickRow(PanelList(panel), 3);
    });
    EXPECT_EQ("/xSBthree", RunPanel());
}

} // namespace

// The panel is rebuilt after every change, so a session opens it many times:
// nothing it creates may outlive it.
TEST_F(ConfigPanelTest, TwoHundredOpeningsLeaveObjectCountsFlat) {
    std::vector<Sound> sounds;
    for (int i = 1; i <= 50; ++i)
        sounds.push_back({std::to_string(i), "c" + std::to_string(i), "f.mp3", "m"});
    GiveSounds(sounds);
    auto openAndClose = [&] {
        driver.Expect(kPanel, UiDriver::Press(IDOK));
        EXPECT_EQ("", RunPanel());
    };
    openAndClose(); // first-time allocations of the system
    testing_support::ResourceCounts before = testing_support::CurrentResourceCounts();
    for (int i = 0; i < 200; ++i)
        openAndClose();
    testing_support::ResourceCounts after = testing_support::CurrentResourceCounts();
    EXPECT_LE(after.handles, before.handles + 4);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + 4);
    EXPECT_LE(after.userObjects, before.userObjects + 4);
    // Each opening used to keep its banner bitmap under Wine: 75 KB apiece.
    EXPECT_LE(after.privateBytes, before.privateBytes + 1024 * 1024)
        << before.privateBytes / 1024 << " KB -> " << after.privateBytes / 1024 << " KB";
    EXPECT_TRUE(driver.unexpected.empty());
}
