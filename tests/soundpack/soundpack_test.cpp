// Installing and uninstalling real INI files through the real profile
// functions, against Wine's registry, with message boxes answered by the UI
// driver.
#include "soundpack/soundpack.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"

#include "clean_state.h"
#include "pack_world.h"
#include "pack_files.h"
#include "ui_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const char kBoxCaption[] = "Unspecified Error Code\n\n";

std::string Unspecified(const std::string& name) {
    return "Error: An unspecified error occurred while processing Sound number " + name + ".\r\n";
}
std::string Exists(const std::string& name) {
    return "Error: Sound number " + name + " already exists in database, will not redefine.\r\n";
}

class SoundpackTest : public PackWorldTest {
  protected:
    static std::vector<std::string> SortedKeys() {
        std::vector<std::string> keys = SoundKeys();
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    // The index texts of slots 0 to count-1, sorted; "<empty>" for a hole.
    static std::vector<std::string> SortedTable() {
        std::vector<std::string> indexes;
        for (int i = 0; i < soundTable.count; ++i) {
            const SoundRecord* record = soundTable.slots[i];
            indexes.push_back(record ? TextOrEmpty(record->indexText) : "<empty>");
        }
        std::sort(indexes.begin(), indexes.end());
        return indexes;
    }
    static std::string Value(const std::string& index, const char* name) {
        return GetValue(HKEY_LOCAL_MACHINE, std::string(kSoundsKey) + "\\" + index, name).bytes;
    }
};

TEST_F(SoundpackTest, InstallStoresCompleteSectionsInRegistryAndTable) {
    // An existing sound with the same command word: install does not compare them.
    PutSound("1", "hi", "old.mp3", "Old");
    LoadSounds();
    std::string pack =
        WritePack("complete.ini", PackText("3", {
                                                    {"7", "hi", "\\boom.mp3", "Hello"},
                                                    {"12", "bell", "sub\\bell.wav", "ding"},
                                                    {"300", "x", "x.ogg", "a b  c"},
                                                }));
    UiDriver driver;
    EXPECT_EQ(kPackDone, InstallSoundpack(pack.c_str()));

    EXPECT_EQ((std::vector<std::string>{"1", "12", "300", "7"}), SortedKeys());
    EXPECT_EQ((std::vector<std::string>{"1", "12", "300", "7"}), SortedTable());
    EXPECT_STREQ("4", soundTable.countText);
    EXPECT_EQ(std::string("hi\0", 3), Value("7", "Command"));
    // The directory part is kept as the pack gives it.
    EXPECT_EQ(std::string("sub\\bell.wav\0", 13), Value("12", "Filename"));
    EXPECT_EQ(std::string("a b  c\0", 7), Value("300", "Message"));
    const SoundRecord* bell = soundTable.slots[FindSound("12", kFieldIndexText)];
    EXPECT_STREQ("bell", bell->command);
    EXPECT_STREQ("sub\\bell.wav", bell->filename);
    EXPECT_STREQ("ding", bell->message);
    EXPECT_EQ("", errorReport);
    EXPECT_TRUE(driver.seen.empty());
}

struct InstallCase {
    const char* name;
    std::string text;
    int result;
    std::vector<std::string> keys;       // the registry afterwards, sorted
    std::string report;                  // what errorReport gained
    std::vector<std::string> boxNumbers; // the number boxes, in order
};

TEST_F(SoundpackTest, InstallReportsEachFailedSectionAndGoesOn) {
    const InstallCase cases[] = {
        {"missing message",
         PackText(
             "3",
             {{"1", "a", "a.mp3", "A"}, {"2", "b", "b.mp3", nullptr}, {"3", "c", "c.mp3", "C"}}),
         kPackDone,
         {"1", "3"},
         Unspecified("2"),
         {"0"}},
        {"empty message counts as missing",
         PackText("2", {{"1", "a", "a.mp3", ""}, {"2", "b", "b.mp3", "B"}}),
         kPackDone,
         {"2"},
         Unspecified("1"),
         {"0"}},
        {"missing index is named by its section",
         PackText("2", {{"1", "a", "a.mp3", "A"}, {nullptr, "b", "b.mp3", "B"}}),
         kPackDone,
         {"1"},
         Unspecified("Sound2"),
         {"0"}},
        {"duplicate index in one pack",
         PackText("2", {{"5", "a", "a.mp3", "A"}, {"5", "b", "b.mp3", "B"}}),
         kPackDone,
         {"5"},
         Exists("5"),
         {}},
        {"index the store refuses",
         PackText("2", {{"abc", "a", "a.mp3", "A"}, {"6", "b", "b.mp3", "B"}}),
         kPackDone,
         {"6"},
         Unspecified("abc"),
         {"-3"}},
        {"more TotalSounds than sections",
         PackText("3", {{"1", "a", "a.mp3", "A"}}),
         kPackDone,
         {"1"},
         Unspecified("Sound2") + Unspecified("Sound3"),
         {"0", "0"}},
        {"sections above TotalSounds are not read",
         PackText("1", {{"1", "a", "a.mp3", "A"}, {"2", "b", "b.mp3", "B"}}),
         kPackDone,
         {"1"},
         "",
         {}},
        {"negative count", PackText("-3", {{"1", "a", "a.mp3", "A"}}), kPackDone, {}, "", {}},
        {"zero count", PackText("0", {{"1", "a", "a.mp3", "A"}}), kPackNoSounds, {}, "", {}},
        {"missing count", PackText(nullptr, {{"1", "a", "a.mp3", "A"}}), kPackNoSounds, {}, "", {}},
        {"count without digits",
         PackText("many", {{"1", "a", "a.mp3", "A"}}),
         kPackNoSounds,
         {},
         "",
         {}},
        {"count beyond the section names",
         PackText("100000", {{"1", "a", "a.mp3", "A"}}),
         kPackNoSounds,
         {},
         "",
         {}},
    };
    for (const InstallCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetRegistry();
        ClearSoundTable();
        errorReport = "pending\r\n";
        std::string pack = WritePack("case.ini", c.text);
        UiDriver driver;
        for (size_t i = 0; i < c.boxNumbers.size(); ++i)
            driver.Expect(kBoxCaption, UiDriver::Press(IDOK));
        EXPECT_EQ(c.result, InstallSoundpack(pack.c_str()));
        EXPECT_EQ(c.keys, SortedKeys());
        EXPECT_EQ(c.keys, SortedTable());
        EXPECT_EQ(static_cast<int>(c.keys.size()), soundTable.count);
        EXPECT_EQ("pending\r\n" + c.report, errorReport);
        EXPECT_EQ(c.boxNumbers, driver.SeenTexts());
        EXPECT_TRUE(driver.unexpected.empty());
    }
}

TEST_F(SoundpackTest, InstallLeavesAnExistingSoundAsItWas) {
    PutSound("5", "old", "old.mp3", "Old");
    LoadSounds();
    std::string before = SnapshotRegistry();
    std::string pack = WritePack("exists.ini", PackText("1", {{"5", "new", "new.mp3", "New"}}));
    UiDriver driver;
    EXPECT_EQ(kPackDone, InstallSoundpack(pack.c_str()));
    EXPECT_EQ(before, SnapshotRegistry());
    EXPECT_EQ(Exists("5"), errorReport);
    ASSERT_EQ(1, soundTable.count);
    EXPECT_STREQ("old", soundTable.slots[0]->command);
    EXPECT_TRUE(driver.seen.empty());
}

TEST_F(SoundpackTest, BareFileNameMeansTheCurrentDirectoryForEveryRead) {
    WritePack("bare.ini", PackText("1", {{"9", "n", "n.mp3", "N"}}));
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(PackFolder().c_str()));
    int installed = InstallSoundpack("bare.ini");
    std::vector<std::string> keys = SortedKeys();
    int removed = UninstallSoundpack("bare.ini");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(kPackDone, installed);
    EXPECT_EQ(std::vector<std::string>{"9"}, keys);
    EXPECT_EQ(kPackDone, removed);
    EXPECT_TRUE(SoundKeys().empty());
}

TEST_F(SoundpackTest, FailedRecordIsOutOfTheTableWhileItsBoxIsOpen) {
    std::string pack = WritePack("reload.ini", PackText("3", {{"1", "a", "a.mp3", "A"},
                                                              {"2", "b", "b.mp3", nullptr},
                                                              {"3", "c", "c.mp3", "C"}}));
    int countInBox = -1;
    int failedSlot = 0;
    bool anyIncomplete = false;
    UiDriver driver;
    // The host may deliver "reload" from the box's message loop.
    driver.Expect(kBoxCaption, [&](HWND box) {
        countInBox = soundTable.count;
        failedSlot = FindSound("2", kFieldIndexText);
        for (const SoundRecord* record : soundTable.slots)
            anyIncomplete = anyIncomplete || (record && !record->message);
        ClearSoundTable();
        LoadSounds();
        UiDriver::Click(box, IDOK);
    });
    EXPECT_EQ(kPackDone, InstallSoundpack(pack.c_str()));
    EXPECT_EQ(0u, driver.Pending());
    EXPECT_EQ(1, countInBox);
    EXPECT_EQ(kNotFound, failedSlot);
    EXPECT_FALSE(anyIncomplete);
    EXPECT_EQ((std::vector<std::string>{"1", "3"}), SortedKeys());
    EXPECT_EQ((std::vector<std::string>{"1", "3"}), SortedTable());
    EXPECT_STREQ("2", soundTable.countText);
}

struct UninstallCase {
    const char* name;
    std::vector<std::string> database; // sounds in the registry beforehand
    std::string pack;
    int result;
    std::vector<std::string> keys; // afterwards, sorted
};

TEST_F(SoundpackTest, UninstallRemovesExactlyTheListedIndexes) {
    const UninstallCase cases[] = {
        {"listed sounds go, others stay",
         {"1", "2", "3", "40"},
         PackText(
             "3",
             {{"1", nullptr, nullptr, nullptr}, {nullptr, "b", "b", "b"}, {"40", "x", "x", "x"}}),
         kPackDone,
         {"2", "3"}},
        {"07 is not 7",
         {"7"},
         PackText("1", {{"07", nullptr, nullptr, nullptr}}),
         kPackDone,
         {"7"}},
        {"leading zeros: the plain number has no entry",
         {"007"},
         PackText("1", {{"007", nullptr, nullptr, nullptr}}),
         kPackDone,
         {"007"}},
        {"above 999 is refused",
         {"1000"},
         PackText("1", {{"1000", nullptr, nullptr, nullptr}}),
         kPackDone,
         {"1000"}},
        {"nothing of the pack installed",
         {"5"},
         PackText("2", {{"6", "a", "a", "a"}, {"7", "b", "b", "b"}}),
         kPackDone,
         {"5"}},
        {"sections above TotalSounds are not read",
         {"1", "2"},
         PackText("1", {{"1", nullptr, nullptr, nullptr}, {"2", nullptr, nullptr, nullptr}}),
         kPackDone,
         {"2"}},
        {"negative count",
         {"1"},
         PackText("-1", {{"1", nullptr, nullptr, nullptr}}),
         kPackDone,
         {"1"}},
        {"zero count",
         {"1"},
         PackText("0", {{"1", nullptr, nullptr, nullptr}}),
         kPackNoSounds,
         {"1"}},
        {"count beyond the section names",
         {"1"},
         PackText("100000", {{"1", nullptr, nullptr, nullptr}}),
         kPackNoSounds,
         {"1"}},
    };
    for (const UninstallCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetRegistry();
        ClearSoundTable();
        for (const std::string& index : c.database)
            PutSound(index, "c" + index, index + ".mp3", "m");
        LoadSounds();
        std::string pack = WritePack("uninstall.ini", c.pack);
        EXPECT_EQ(c.result, UninstallSoundpack(pack.c_str()));
        EXPECT_EQ(c.keys, SortedKeys());
        EXPECT_EQ(c.keys, SortedTable());
        EXPECT_EQ("", errorReport);
    }
}

// A pack of sounds 1 to n, each complete.
std::string WriteNumberedPack(const std::string& name, int n) {
    std::string text = "[Header]\r\nTotalSounds=" + std::to_string(n) + "\r\n";
    for (int i = 1; i <= n; ++i) {
        std::string k = std::to_string(i);
        text += "[Sound" + k + "]\r\nSoundIndex=" + k + "\r\nCommand=s" + k + "\r\nFilename=s" + k +
                ".mp3\r\nMessage=m\r\n";
    }
    return WritePack(name, text);
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// An account that may only read the database: the first refused write ends
// the install or uninstall with one line that says why, and no box per sound.
TEST_F(SoundpackTest, AReadOnlyDatabaseStopsInstallAndUninstallWithOneLine) {
    PutSound("1", "a", "a.mp3", "A");
    PutSound("2", "b", "b.mp3", "B");
    LoadSounds();
    MakeSoundDatabaseReadOnly();
    const std::string line = std::string("Error: ") + kReadOnlyDatabaseText + "\r\n";
    const std::string newSounds = WritePack("new.ini", PackText("3", {{"7", "x", "x.mp3", "X"},
                                                                      {"8", "y", "y.mp3", "Y"},
                                                                      {"9", "z", "z.mp3", "Z"}}));
    const std::string oldSounds =
        WritePack("old.ini", PackText("2", {{"1", "a", "a.mp3", "A"}, {"2", "b", "b.mp3", "B"}}));
    const struct {
        const char* name;
        int (*operation)(const char*);
        const std::string& pack;
    } cases[] = {{"install", InstallSoundpack, newSounds},
                 {"uninstall", UninstallSoundpack, oldSounds}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errorReport.clear();
        UiDriver driver;
        const std::string before = SnapshotRegistry();
        EXPECT_EQ(kPackDone, c.operation(c.pack.c_str()));
        EXPECT_EQ(line, errorReport);
        EXPECT_TRUE(driver.seen.empty()) << "no number box for a read-only database";
        EXPECT_EQ(before, SnapshotRegistry());
        EXPECT_EQ((std::vector<std::string>{"1", "2"}), SortedTable());
    }
}

TEST_F(SoundpackTest, InstallIntoAFullDatabaseStopsWithOneLine) {
    std::string full = WriteNumberedPack("full.ini", 999);
    std::string extra =
        WritePack("extra.ini", PackText("2", {{"abc", "a", "a", "a"}, {"1000", "b", "b", "b"}}));
    std::string some = WriteNumberedPack("some.ini", 3);

    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(kPackDone, InstallSoundpack(full.c_str()));
    std::printf("[ bench    ] install of a 999-sound pack: %.0f ms\n", Milliseconds(start));
    EXPECT_EQ(999, soundTable.count);
    EXPECT_EQ(999u, SoundKeys().size());
    EXPECT_EQ("", errorReport);

    // No slot for the first section: one line, no box, nothing stored.
    UiDriver driver;
    std::string before = SnapshotRegistry();
    EXPECT_EQ(kPackDone, InstallSoundpack(extra.c_str()));
    EXPECT_EQ("Error: The sound database is full (999 sounds); the rest of the soundpack was not "
              "installed.\r\n",
              errorReport);
    EXPECT_TRUE(driver.seen.empty());
    EXPECT_EQ(before, SnapshotRegistry());
    EXPECT_EQ(999, soundTable.count);

    // Every sound found reloads the whole table, so a few are enough here.
    EXPECT_EQ(kPackDone, UninstallSoundpack(some.c_str()));
    EXPECT_EQ(996u, SoundKeys().size());
    EXPECT_EQ(996, soundTable.count);
    EXPECT_EQ(kNotFound, FindSound("2", kFieldIndexText));
}

// A whole database's worth of sounds in and out again; it also prints how long
// each took (the bench reports the figures, nothing here asserts a time).
TEST_F(SoundpackTest, InstallAndUninstallOf999Sounds) {
    std::string full = WriteNumberedPack("full.ini", 999);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(kPackDone, InstallSoundpack(full.c_str()));
    double installed = Milliseconds(start);
    EXPECT_EQ(999, soundTable.count);
    EXPECT_EQ(999u, SoundKeys().size());
    start = std::chrono::steady_clock::now();
    ASSERT_EQ(kPackDone, UninstallSoundpack(full.c_str()));
    double uninstalled = Milliseconds(start);
    EXPECT_TRUE(SoundKeys().empty());
    EXPECT_EQ(0, soundTable.count);
    std::printf("[ bench    ] install of 999 sounds: %.0f ms; uninstall of 999 sounds: %.0f ms\n",
                installed, uninstalled);
}

} // namespace
