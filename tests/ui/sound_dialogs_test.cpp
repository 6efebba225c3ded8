// The add and edit sound dialogs, reached through the real panel's buttons.
#include "ui_test_support.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::GetValue;
using testing_support::SoundKeys;
using testing_support::UiDriver;
using namespace ui_test;

namespace {

const char kExistsMessage[] = "A sound with the same index number already exists, please choose "
                              "another index and try again.";
const char kRangeMessage[] = "The number specified for the sound index is not within the valid "
                             "range. Please make sure it is a positive integer between 1 and 999";
const char kNoEditMessage[] = "You have not chosen a sound to edit. Please choose a sound before "
                              "trying to edit it";

HWND IndexEdit(HWND dialog) {
    return reinterpret_cast<HWND>(
        SendDlgItemMessageA(dialog, IDC_INDEX_LIST, CBEM_GETEDITCONTROL, 0, 0));
}

std::string ShownIndex(HWND dialog) {
    char text[16] = "";
    GetWindowTextA(IndexEdit(dialog), text, sizeof text);
    return text;
}

void FillFields(HWND dialog, const std::string& index, const Sound& sound) {
    if (!index.empty())
        SetWindowTextA(IndexEdit(dialog), index.c_str());
    Type(dialog, IDC_COMMAND, sound.command);
    Type(dialog, IDC_FILENAME, sound.filename);
    Type(dialog, IDC_MESSAGE, sound.message);
}

std::string Stored(const std::string& index, const char* name) {
    auto value =
        GetValue(HKEY_LOCAL_MACHINE, std::string(testing_support::kSoundsKey) + "\\" + index, name);
    return value.present ? value.bytes.substr(0, value.bytes.find('\0')) : "absent";
}

std::vector<std::string> SortedKeys() {
    auto keys = SoundKeys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

size_t PanelOpenings(const UiDriver& driver) {
    return static_cast<size_t>(std::count_if(driver.seen.begin(), driver.seen.end(),
                                             [](const auto& w) { return w.caption == kPanel; }));
}

class SoundDialogTest : public UiTest {
  protected:
    // Opens the panel, presses one of its buttons and hands the child dialog
    // to `inDialog`; the panel is closed once the child has ended, unless the
    // panel closed itself to re-open (then the re-opened one is closed).
    void ThroughPanel(int button, std::function<void(HWND)> inDialog, int clickRow = -1) {
        driver.Expect(kPanel, [=](HWND panel) {
            panelWindow_ = panel;
            if (clickRow >= 0)
                ClickRow(PanelList(panel), clickRow);
            PostMessageA(panel, WM_COMMAND, button, 0);
        });
        driver.Expect(kAddSounds, inDialog);
    }
    void ClosePanelLater() {
        driver.Later([this] {
            if (IsWindow(panelWindow_))
                UiDriver::Click(panelWindow_, IDOK);
        });
    }
    // The Error dialog over a child that stays open: record its text, close
    // it, then cancel the child and close the panel.
    void ExpectErrorThenCancel(std::string& shown) {
        driver.Expect(kErrorDialog, [&shown, this](HWND dialog) {
            shown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
            HWND child = GetWindow(dialog, GW_OWNER);
            UiDriver::Click(dialog, IDOK);
            driver.Later([child, this] {
                if (child != panelWindow_)
                    UiDriver::Click(child, IDCANCEL);
                ClosePanelLater();
            });
        });
    }
    HWND panelWindow_ = nullptr;
};

TEST_F(SoundDialogTest, IndexListOffersTheFreeIndices) {
    std::vector<Sound> all;
    for (int i = 1; i <= 999; ++i)
        all.push_back({std::to_string(i), "c" + std::to_string(i), "", ""});
    const struct {
        const char* name;
        std::vector<Sound> sounds;
        size_t count;
        std::vector<std::string> first;
        std::string shown;
        std::string last;
    } cases[] = {
        {"empty", {}, 999, {"1", "2", "3"}, "1", "999"},
        {"partly used",
         {{"1", "a", "", ""}, {"2", "b", "", ""}, {"5", "c", "", ""}, {"0999", "d", "", ""}},
         995,
         {"3", "4", "6"},
         "3",
         "998"},
        {"full", all, 0, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSoundTable();
        testing_support::ResetRegistry();
        GiveSounds(c.sounds);
        std::vector<std::string> items;
        std::string shown = "not read";
        ThroughPanel(IDC_ADD, [&](HWND dialog) {
            items = ComboItems(GetDlgItem(dialog, IDC_INDEX_LIST));
            shown = ShownIndex(dialog);
            UiDriver::Click(dialog, IDCANCEL);
            ClosePanelLater();
        });
        RunPanel();
        ASSERT_EQ(c.count, items.size());
        for (size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(c.first[i], items[i]);
        if (c.count) {
            EXPECT_EQ(c.last, items.back()) << "0999 reads as 999";
        }
        EXPECT_EQ(c.shown, shown);
        for (int i = 1; i <= 999; ++i) {
            auto found = std::find(items.begin(), items.end(), std::to_string(i));
            EXPECT_EQ(found == items.end() ? -1 : found - items.begin(), indexPosition[i]) << i;
        }
    }
}

TEST_F(SoundDialogTest, AddGivesEachResultItsOwnOutcome) {
    const struct {
        const char* name;
        std::string typedIndex; // empty: the index the list shows
        const char* message;    // nullptr: the sound is created
        std::string key;
    } cases[] = {
        {"lowest free index", "", nullptr, "3"},
        {"typed free index", "77", nullptr, "77"},
        {"typed 1000 reads as 100", "1000", nullptr, "100"},
        {"index in use", "5", kExistsMessage, ""},
        {"index 0", "0", kRangeMessage, ""},
        {"no index", " ", kRangeMessage, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSoundTable();
        testing_support::ResetRegistry();
        GiveSounds({{"1", "a", "\\a.mp3", "A"}, {"2", "b", "\\b.mp3", "B"}, {"5", "c", "", ""}});
        std::string before = testing_support::SnapshotRegistry();
        std::string errorShown;
        Rows reopened;
        HWND addDialog = nullptr;
        ThroughPanel(IDC_ADD, [&](HWND dialog) {
            addDialog = dialog;
            FillFields(dialog, c.typedIndex == " " ? "" : c.typedIndex,
                       {"", "boom", "C:\\Sounds\\boom.mp3", "Boom!"});
            if (c.typedIndex == " ")
                SetWindowTextA(IndexEdit(dialog), "");
            UiDriver::Click(dialog, IDOK);
        });
        if (c.message) {
            driver.Expect(kErrorDialog, [&](HWND dialog) {
                errorShown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
                UiDriver::Click(dialog, IDOK);
                // The add dialog stays open with the fields as typed.
                driver.Later([&] {
                    EXPECT_EQ("boom", UiDriver::ControlText(addDialog, IDC_COMMAND));
                    UiDriver::Click(addDialog, IDCANCEL);
                    ClosePanelLater();
                });
            });
        } else {
            driver.Expect(kPanel, [&](HWND panel) {
                reopened = ListRows(PanelList(panel));
                UiDriver::Click(panel, IDOK);
            });
        }
        RunPanel();
        if (c.message) {
            EXPECT_EQ(c.message, errorShown);
            EXPECT_EQ(before, testing_support::SnapshotRegistry());
            EXPECT_EQ(1u, PanelOpenings(driver)) << "a failed add must not re-open the panel";
        } else {
            EXPECT_EQ("boom", Stored(c.key, "Command"));
            EXPECT_EQ("\\boom.mp3", Stored(c.key, "Filename"));
            EXPECT_EQ("Boom!", Stored(c.key, "Message"));
            EXPECT_EQ(4u, reopened.size());
            EXPECT_EQ(4, soundTable.count);
            EXPECT_NE(kNotFound, FindSound(c.key.c_str(), kFieldIndexText));
        }
        driver.seen.clear();
    }
}

TEST_F(SoundDialogTest, AddRefusedByTheRegistryGetsItsOwnMessage) {
    // A volatile Sounds key takes no lasting sub-keys: the store refuses.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, testing_support::kSoundsKey, 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    std::string errorShown;
    ThroughPanel(IDC_ADD, [&](HWND dialog) {
        FillFields(dialog, "", {"", "x", "x.mp3", ""});
        UiDriver::Click(dialog, IDOK);
    });
    ExpectErrorThenCancel(errorShown);
    RunPanel();
    EXPECT_EQ("The sound could not be saved: the registry refused the write. Please check that "
              "you are allowed to change the plug-in's sound database and try again.",
              errorShown);
    EXPECT_TRUE(SoundKeys().empty());
}

// An account that may only read the database: Add and Edit both say so,
// change nothing and keep the dialog open with what was typed.
TEST_F(SoundDialogTest, AReadOnlyDatabaseIsExplainedByAddAndEdit) {
    const struct {
        const char* name;
        int button;
        int row;
    } cases[] = {{"add", IDC_ADD, -1}, {"edit", IDC_EDIT, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSoundTable();
        testing_support::ResetRegistry();
        GiveSounds({{"1", "a", "\\a.mp3", "A"}, {"2", "b", "\\b.mp3", "B"}});
        testing_support::MakeSoundDatabaseReadOnly();
        const std::string before = testing_support::SnapshotRegistry();
        std::string errorShown, typedAfter;
        HWND child = nullptr;
        ThroughPanel(
            c.button,
            [&](HWND dialog) {
                child = dialog;
                FillFields(dialog, "", {"", "boom", "C:\\Sounds\\boom.mp3", "Boom!"});
                UiDriver::Click(dialog, IDOK);
            },
            c.row);
        driver.Expect(kErrorDialog, [&](HWND dialog) {
            errorShown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
            UiDriver::Click(dialog, IDOK);
            driver.Later([&] {
                typedAfter = UiDriver::ControlText(child, IDC_COMMAND);
                UiDriver::Click(child, IDCANCEL);
                ClosePanelLater();
            });
        });
        RunPanel();
        EXPECT_EQ(kReadOnlyDatabaseText, errorShown);
        EXPECT_EQ("boom", typedAfter);
        EXPECT_EQ(before, testing_support::SnapshotRegistry());
        EXPECT_EQ(2, soundTable.count) << "the sounds must stay loaded";
        EXPECT_TRUE(driver.unexpected.empty());
        driver.seen.clear();
    }
}

const std::vector<Sound> kEditable = {
    {"1", "a", "\\a.mp3", "A"}, {"2", "two", "\\two.wav", "Second"}, {"5", "c", "", ""}};

int RowOf(const char* index) {
    return FindSound(index, kFieldIndexText);
}

TEST_F(SoundDialogTest, EditShowsTheSoundWithItsOwnIndex) {
    GiveSounds(kEditable);
    std::string button, command, filename, message, shown;
    std::vector<std::string> items;
    ThroughPanel(
        IDC_EDIT,
        [&](HWND dialog) {
            button = UiDriver::ControlText(dialog, IDOK);
            command = UiDriver::ControlText(dialog, IDC_COMMAND);
            filename = UiDriver::ControlText(dialog, IDC_FILENAME);
            message = UiDriver::ControlText(dialog, IDC_MESSAGE);
            shown = ShownIndex(dialog);
            items = ComboItems(GetDlgItem(dialog, IDC_INDEX_LIST));
            UiDriver::Click(dialog, IDCANCEL);
            ClosePanelLater();
        },
        RowOf("2"));
    std::string before = testing_support::SnapshotRegistry();
    RunPanel();
    EXPECT_EQ("&Edit", button);
    EXPECT_EQ("two", command);
    EXPECT_EQ("\\two.wav", filename);
    EXPECT_EQ("Second", message);
    EXPECT_EQ("2", shown);
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ("2", items[0]);
    EXPECT_EQ("3", items[1]);
    EXPECT_EQ(997u, items.size());
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ(-1, editSlot);
    EXPECT_EQ(1u, PanelOpenings(driver)) << "a cancelled edit must not re-open the panel";
}

TEST_F(SoundDialogTest, EditWithoutChangesWritesTheSameSoundAgain) {
    GiveSounds(kEditable);
    std::string before = testing_support::SnapshotRegistry();
    ThroughPanel(IDC_EDIT, UiDriver::Press(IDOK), RowOf("2"));
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_TRUE(databaseChanged);
    EXPECT_EQ(-1, selectedRow);
    EXPECT_EQ(3, soundTable.count);
}

// Another program removed the sound's key while its edit dialog was open:
// the box that says so appears over a table that already holds the rest, so
// the chat behind it goes on sending and playing them.
TEST_F(SoundDialogTest, EditOfAVanishedKeyReloadsTheTableBeforeItsBox) {
    GiveSounds(kEditable);
    int countDuringBox = -1;
    HWND editDialog = nullptr;
    ThroughPanel(
        IDC_EDIT,
        [&](HWND dialog) {
            editDialog = dialog;
            SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                         (std::string(testing_support::kSoundsKey) + "\\2").c_str());
            UiDriver::Click(dialog, IDOK);
        },
        RowOf("2"));
    driver.Expect("", [&](HWND box) {
        countDuringBox = soundTable.count;
        UiDriver::Click(box, IDOK);
        driver.Later([&] {
            UiDriver::Click(editDialog, IDCANCEL);
            ClosePanelLater();
        });
    });
    RunPanel();
    EXPECT_EQ(2, countDuringBox);
    EXPECT_EQ((std::vector<std::string>{"1", "5"}), SortedKeys());
    EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(SoundDialogTest, EditToAnIndexInUseKeepsTheOldSound) {
    GiveSounds(kEditable);
    std::string before = testing_support::SnapshotRegistry();
    std::string errorShown;
    HWND editDialog = nullptr;
    int chosen = RowOf("2");
    ThroughPanel(
        IDC_EDIT,
        [&](HWND dialog) {
            editDialog = dialog;
            FillFields(dialog, "5", {"", "renamed", "\\r.mp3", "R"});
            UiDriver::Click(dialog, IDOK);
        },
        chosen);
    driver.Expect(kErrorDialog, [&](HWND dialog) {
        errorShown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
        UiDriver::Click(dialog, IDOK);
        driver.Later([&] {
            // The old sound is back and still chosen: correct the index and
            // try again.
            EXPECT_EQ(before, testing_support::SnapshotRegistry());
            EXPECT_NE(kNotFound, FindSound("2", kFieldIndexText));
            SetWindowTextA(IndexEdit(editDialog), "7");
            UiDriver::Click(editDialog, IDOK);
        });
    });
    driver.Expect(kPanel, UiDriver::Press(IDOK));
    RunPanel();
    EXPECT_EQ(kExistsMessage, errorShown);
    EXPECT_EQ((std::vector<std::string>{"1", "5", "7"}), SortedKeys());
    EXPECT_EQ("renamed", Stored("7", "Command"));
    EXPECT_EQ("c", Stored("5", "Command"));
    EXPECT_EQ(-1, selectedRow);
}

TEST_F(SoundDialogTest, EditOfNoSoundGivesItsMessageAndMinus201) {
    const struct {
        const char* name;
        int row;               // the chosen row, or -2: chosen, then removed
        bool removedWhileOpen; // the table changed under an open edit dialog
    } cases[] = {
        {"no row chosen", -1, false},
        {"row past the list", 9, false},
        {"row removed while the dialog is open", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSoundTable();
        testing_support::ResetRegistry();
        GiveSounds(kEditable);
        selectedRow = c.row;
        std::string errorShown;
        driver.Expect(kPanel, [&](HWND panel) {
            panelWindow_ = panel;
            PostMessageA(panel, WM_COMMAND, IDC_EDIT, 0);
        });
        if (c.removedWhileOpen) {
            driver.Expect(kAddSounds, [&](HWND dialog) {
                // Another program removes the sound; the table follows.
                DeleteSoundNumber(LeadingNumber(ReadRowIndexText(c.row).c_str()));
                ClearSoundTable();
                LoadSounds();
                UiDriver::Click(dialog, IDOK);
            });
        }
        driver.Expect(kErrorDialog, [&](HWND dialog) {
            errorShown = UiDriver::ControlText(dialog, IDC_ERROR_TEXT);
            UiDriver::Click(dialog, IDOK);
            ClosePanelLater();
        });
        std::string before = testing_support::SnapshotRegistry();
        RunPanel();
        EXPECT_EQ(kNoEditMessage, errorShown);
        if (!c.removedWhileOpen) {
            EXPECT_EQ(before, testing_support::SnapshotRegistry());
        } else {
            EXPECT_EQ(2u, SoundKeys().size());
        }
        EXPECT_EQ(1u, PanelOpenings(driver));
        driver.seen.clear();
    }
}

TEST_F(SoundDialogTest, F1OpensTheHelpOverTheDialog) {
    HWND addDialog = nullptr, helpOwner = nullptr;
    ThroughPanel(IDC_ADD, [&](HWND dialog) {
        addDialog = dialog;
        // What F1 sends; a step of its own, as it runs the Help dialog's loop.
        driver.Later([&] {
            HELPINFO info = {sizeof info};
            SendMessageA(addDialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        });
    });
    driver.Expect(kHelp, [&](HWND dialog) {
        helpOwner = GetWindow(dialog, GW_OWNER);
        UiDriver::Click(dialog, IDOK);
        driver.Later([&] {
            UiDriver::Click(addDialog, IDCANCEL);
            ClosePanelLater();
        });
    });
    RunPanel();
    EXPECT_EQ(addDialog, helpOwner);
}

TEST_F(SoundDialogTest, BrowsePutsTheChosenPathIntoTheFileField) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string file = std::string(temp) + "sb_browse.mp3";
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (bool choose : {true, false}) {
        SCOPED_TRACE(choose);
        std::string field;
        HWND addDialog = nullptr;
        ThroughPanel(IDC_ADD, [&](HWND dialog) {
            addDialog = dialog;
            Type(dialog, IDC_FILENAME, "typed.mp3");
            UiDriver::Click(dialog, IDC_BROWSE);
        });
        driver.Expect("Open", [&](HWND dialog) {
            if (choose) {
                // The file name box: a combo box (cmb13) or an edit (edt1).
                SetDlgItemTextA(dialog, 0x47c, file.c_str());
                SetDlgItemTextA(dialog, 0x480, file.c_str());
                UiDriver::Click(dialog, IDOK);
            } else {
                UiDriver::Click(dialog, IDCANCEL);
            }
            driver.Later([&] {
                field = UiDriver::ControlText(addDialog, IDC_FILENAME);
                UiDriver::Click(addDialog, IDCANCEL);
                ClosePanelLater();
            });
        });
        RunPanel();
        EXPECT_EQ(choose ? file : std::string("typed.mp3"), field);
    }
    DeleteFileA(file.c_str());
}

// A stored index beyond 999 (another program wrote it) has no place in the
// list: nothing is selected and nothing outside the list is touched.
TEST_F(SoundDialogTest, EditedIndexBeyondTheRangeSelectsNothing) {
    GiveSounds({{"5000", "far", "", ""}, {"4", "near", "", ""}});
    HWND list = CreateWindowExA(0, WC_COMBOBOXEXA, "", WS_POPUP | CBS_DROPDOWN, 0, 0, 100, 200,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, list);
    for (const char* index : {"5000", "4"}) {
        SCOPED_TRACE(index);
        SendMessageA(list, CB_RESETCONTENT, 0, 0);
        int slot = FindSound(index, kFieldIndexText);
        ASInit(list, kIndexListEdit, slot);
        EXPECT_EQ(index[1] ? 998 : 999, SendMessageA(list, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(index[1] ? -1 : 3, SendMessageA(list, CB_GETCURSEL, 0, 0));
    }
    DestroyWindow(list);
}

} // namespace
