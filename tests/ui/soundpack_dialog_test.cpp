// The soundpack dialog through the panel's SoundPacks button: its messages,
// the busy guard, the control disabling and the panel's re-open rule.
#include "ui_test_support.h"

#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "soundpack/soundpack.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include "recording_engine.h"
#include "sound_folder.h"

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

// The report once its check has ended: its rows (columns joined by tabs)
// and its summary line; then it is closed and the soundpack dialog with it.
struct ReportSeen {
    std::vector<std::string> rows;
    std::string summary;
};

std::vector<std::string> JoinedRows(HWND list) {
    std::vector<std::string> joined;
    for (const auto& row : ListRows(list)) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += (i ? "\t" : "") + row[i];
        joined.push_back(line);
    }
    return joined;
}

// sonabell-pack with its arguments: its exit code and its output's lines.
int RunPackTool(const std::string& arguments, std::vector<std::string>* lines) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return -1;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process = {};
    std::string command = std::string("\"") + SONABELL_PACK_TOOL + "\" " + arguments;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        CloseHandle(read);
        CloseHandle(write);
        return -1;
    }
    CloseHandle(write);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(read);
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    size_t start = 0;
    for (size_t end; (end = output.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines->push_back(output.substr(start, end - start));
    return static_cast<int>(code);
}

class PackCheckDialogTest : public SoundpackDialogTest {
  protected:
    // Waits, a tick at a time, until the report's check has ended.
    void ReadWhenDone(HWND report, ReportSeen* seen) {
        if (IsWindowEnabled(GetDlgItem(report, IDC_STOP_CHECK))) {
            driver.Later([=] { ReadWhenDone(report, seen); });
            return;
        }
        seen->rows = JoinedRows(GetDlgItem(report, IDC_REPORT_LIST));
        seen->summary = UiDriver::ControlText(report, IDC_REPORT_SUMMARY);
        UiDriver::Click(report, IDCANCEL);
        FinishLater();
    }
};

TEST_F(PackCheckDialogTest, HostilePackShowsEveryVerdictAsTheToolPrintsItAndWritesNothing) {
    GiveSounds({{"5", "hi", "hi.mp3", "Hi"}});
    testing_support::SoundFolder folder;
    folder.PointHostHere();
    folder.AddFile("hello.mp3");
    folder.AddFile("install.ini", "not a sound");
    recording_engine::refusedPaths.insert(folder.SoundPath("install.ini"));
    // As long as the real engine finds the folder's tenth of a second.
    recording_engine::lengthsMs[folder.SoundPath("hello.mp3")] = 100;
    const std::string before = testing_support::SnapshotRegistry();

    ReportSeen seen;
    OpenDialog(SONABELL_HOSTILE_PACK, IDC_CHECK_PACK);
    driver.Expect(kPackReport, [&](HWND report) { ReadWhenDone(report, &seen); });
    RunPanel();

    const std::string exists = "already exists in database, will not redefine";
    const std::string len = "\t0.10"; // a file that opens: its length
    const std::string none = "\t";
    const std::vector<std::string> expected = {
        "901\thello\thello.mp3\twould install\t" + len,
        "902\tb\t\twould be skipped\tmissing or empty key: Filename" + none,
        "Sound3\tc\tchime.mp3\twould be skipped\tmissing or empty key: SoundIndex, Message" + none,
        "abc\td\thello.mp3\twould be skipped\tthe database refuses this index (code -3)" + none,
        "901\tf\thello.mp3\twould be skipped\tindex already used by Sound1 of this pack: " +
            exists + none,
        "906\tgone\tgone.mp3\twarning\tfile not in the sound folder: users would get the "
        "missing-file line" +
            none,
        "907\tnotes\tinstall.ini\twarning\tthe engine cannot open the file: users would get "
        "the opening-error line" +
            none,
        "908\tReload\thello.mp3\twarning\tcommand is the sub-command keyword \"reload\": it "
        "can never be sent" +
            len,
        "909\ttwo words\thello.mp3\twarning\tcommand contains a space: it can never be sent" + len,
        "910\tdup\thello.mp3\twarning\tcommand also used by Sound11 of this pack" + len,
        "911\tDUP\thello.mp3\twarning\tcommand also used by Sound10 of this pack" + len,
        "912\tlong\thello.mp3\twarning\tthe sound line with its message is 1106 bytes: cut to "
        "1023" +
            len,
        "913\thi\thello.mp3\twarning\tcommand also used by sound 5 of the database" + len,
        "5\tx\thello.mp3\twould be skipped\t" + exists + none,
    };
    EXPECT_EQ(expected, seen.rows);
    EXPECT_EQ("9 would install, 5 would be skipped, 8 with warnings.", seen.summary);
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_EQ("", errorReport);
    EXPECT_EQ(0, recording_engine::openStreams);
    EXPECT_FALSE(soundpackBusy);

    // The tool, on the same pack, database and sound folder, with the real engine.
    std::vector<std::string> printed;
    EXPECT_EQ(1, RunPackTool(std::string("check \"") + SONABELL_HOSTILE_PACK + "\" \"" +
                                 folder.pluginDir() + "\\Sonabell\"",
                             &printed));
    std::vector<std::string> rowsAndSummary = seen.rows;
    rowsAndSummary.push_back(seen.summary);
    EXPECT_EQ(rowsAndSummary, printed);
}

TEST_F(PackCheckDialogTest, CancelStopsALongCheckAtOnce) {
    std::string text = "[Header]\r\nTotalSounds=999\r\n";
    for (int k = 1; k <= 999; ++k) {
        const std::string n = std::to_string(k);
        text += "[Sound" + n + "]\r\nSoundIndex=" + n + "\r\nCommand=c" + n +
                "\r\nFilename=f.mp3\r\nMessage=m\r\n";
    }
    const std::string pack = TempFile("sb_long.ini", text);
    std::string summary;
    bool stopEnabled = true;
    DWORD clicked = 0;
    DWORD stopped = 0;
    OpenDialog(pack, IDC_CHECK_PACK);
    driver.Expect(kPackReport, [&](HWND report) {
        clicked = GetTickCount();
        UiDriver::Click(report, IDC_STOP_CHECK);
        driver.Later([&, report] {
            stopped = GetTickCount();
            summary = UiDriver::ControlText(report, IDC_REPORT_SUMMARY);
            stopEnabled = IsWindowEnabled(GetDlgItem(report, IDC_STOP_CHECK)) != 0;
            UiDriver::Click(report, IDCANCEL);
            FinishLater();
        });
    });
    RunPanel();
    EXPECT_EQ(0u, summary.find("Check cancelled after ")) << summary;
    EXPECT_FALSE(stopEnabled);
    // A bound that only a hang misses.
    EXPECT_LT(stopped - clicked, 1000u);
    EXPECT_FALSE(soundpackBusy);
    DeleteFileA(pack.c_str());
}

TEST_F(PackCheckDialogTest, SaveAsPackReplacesAFileOnlyAfterTheSystemsQuestion) {
    GiveSounds({{"3", "boo", "boo.mp3", " spaced "}});
    testing_support::SoundFolder folder;
    folder.PointHostHere();
    folder.AddFile("boo.mp3", "the sound");
    const std::string target = TempFile("sb_saved_pack.ini", "[Extra]\r\nx=1\r\n");
    const std::string copied = target.substr(0, target.find_last_of('\\') + 1) + "boo.mp3";
    const std::string before = testing_support::SnapshotRegistry();
    OpenDialog("", IDC_SAVE_PACK);
    driver.Expect("Save As", [&](HWND dialog) {
        // The file name box: a combo box (cmb13) or an edit (edt1).
        SetDlgItemTextA(dialog, 0x47c, target.c_str());
        SetDlgItemTextA(dialog, 0x480, target.c_str());
        UiDriver::Click(dialog, IDOK);
    });
    // The file exists: Wine asks in a box without a caption of its own.
    driver.Expect("Error", UiDriver::Press(IDYES));
    driver.Expect("Save as pack", [this](HWND box) {
        UiDriver::Click(box, IDOK);
        FinishLater();
    });
    RunPanel();
    EXPECT_EQ(0u, driver.Pending());
    ASSERT_FALSE(driver.seen.empty());
    EXPECT_EQ("Saved 1 sounds to " + target + ".", driver.SeenTexts().back());
    std::string saved;
    if (FILE* file = std::fopen(target.c_str(), "rb")) {
        char buffer[4096];
        saved.assign(buffer, std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
    }
    EXPECT_EQ(std::string::npos, saved.find("Extra"));
    EXPECT_NE(std::string::npos, saved.find("Message=\" spaced \"")) << saved;
    EXPECT_EQ(0, GetFileAttributesA(copied.c_str()) == INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    DeleteFileA(target.c_str());
    DeleteFileA(copied.c_str());
}

} // namespace
