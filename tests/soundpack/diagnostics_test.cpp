// The error report, the message boxes, the diagnostic log's bytes on drive F:
// (mapped to a folder of the build tree) and the database dump.
#include "soundpack/diagnostics.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/soundpack.h"

#include "clean_state.h"
#include "pack_world.h"
#include "pack_files.h"
#include "ui_driver.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

class DiagnosticsTest : public PackWorldTest {
  protected:
    void SetUp() override {
        PackWorldTest::SetUp();
        DeleteFileA(SONABELL_ERROR_LOG_PATH);
    }
    void TearDown() override {
        DeleteFileA(SONABELL_ERROR_LOG_PATH);
        PackWorldTest::TearDown();
    }
    // A counted record in the next free slot; a null text stays absent.
    static SoundRecord* Put(const char* index, const char* command, const char* filename,
                            const char* message) {
        SoundRecord* record = CreateSoundRecord(true);
        SetRecordText(&record->indexText, index);
        SetRecordText(&record->command, command);
        SetRecordText(&record->filename, filename);
        SetRecordText(&record->message, message);
        soundTable.slots[FindFreeSlot()] = record;
        return record;
    }
    static std::string Log() { return ReadFileBytes(SONABELL_ERROR_LOG_PATH); }
};

TEST_F(DiagnosticsTest, LogAppendsHeaderAndOneLinePerSlotInTextMode) {
    Put("7", "boom", "\\boom.mp3", "hello");
    Put("12", "bell", "bell.wav", "ding");
    ASSERT_EQ(0, AppendErrorLog());
    const std::string first = "\r\n\r\n2\r\r\n"
                              "0\x01"
                              "7\x01"
                              "boom\x01\\boom.mp3\x01hello\r\r\n"
                              "1\x01"
                              "12\x01"
                              "bell\x01"
                              "bell.wav\x01"
                              "ding\r\r\n";
    EXPECT_EQ(first, Log());
    // Successive calls append.
    ClearSoundTable();
    ASSERT_EQ(0, AppendErrorLog());
    EXPECT_EQ(first + "\r\n\r\n0\r\r\n", Log());
}

TEST_F(DiagnosticsTest, LogPadsAnEmptyCountAndWritesAbsentTextsAsEmpty) {
    soundTable.countText[0] = '\0'; // as before any counted record existed
    ASSERT_EQ(0, AppendErrorLog());
    EXPECT_EQ("\r\n\r\n \r\r\n", Log());

    DeleteFileA(SONABELL_ERROR_LOG_PATH);
    Put("5", nullptr, "f.wav", nullptr);          // a record an install is still filling
    SoundRecord* stray = CreateSoundRecord(true); // counted, but in no slot
    ASSERT_EQ(0, AppendErrorLog());
    DestroySoundRecord(stray);
    EXPECT_EQ("\r\n\r\n2\r\r\n"
              "0\x01"
              "5\x01\x01"
              "f.wav\x01\r\r\n"
              "1\x01\x01\x01\x01\r\r\n",
              Log());
}

TEST_F(DiagnosticsTest, InstallAndUninstallLogTheTableFirstEvenForAMissingFile) {
    Put("3", "c", "c.mp3", "m");
    std::string missing = PackFolder() + "absent.ini";
    EXPECT_EQ(kPackUnreadable, InstallSoundpack(missing.c_str()));
    EXPECT_EQ(kPackUnreadable, UninstallSoundpack(missing.c_str()));
    const std::string snapshot = "\r\n\r\n1\r\r\n0\x01"
                                 "3\x01"
                                 "c\x01"
                                 "c.mp3\x01m\r\r\n";
    EXPECT_EQ(snapshot + snapshot, Log());
    EXPECT_TRUE(SoundKeys().empty());
    EXPECT_EQ("", errorReport);
}

TEST_F(DiagnosticsTest, NumberAndSystemErrorBoxes) {
    UiDriver driver;
    driver.Expect("Caption\n\n", UiDriver::Press(IDOK));
    driver.Expect("Any", UiDriver::Press(IDOK));
    driver.Expect("Critical Error!", UiDriver::Press(IDOK));
    driver.Expect("Critical Error!", UiDriver::Press(IDOK));
    ShowNumberBox(-4, "Caption\n\n");
    ShowNumberBox(2147483647, "Any");
    ShowSystemError(ERROR_FILE_NOT_FOUND);
    ShowSystemError(0x2000FFFFu); // a code the system has no text for
    ASSERT_EQ(4u, driver.seen.size());
    EXPECT_EQ("-4", driver.seen[0].text);
    EXPECT_EQ("2147483647", driver.seen[1].text);
    const std::string intro = "The following error occurred:\n";
    EXPECT_EQ(intro, driver.seen[2].text.substr(0, intro.size()));
    EXPECT_GT(driver.seen[2].text.size(), intro.size());
    EXPECT_EQ(intro, driver.seen[3].text);
    EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(DiagnosticsTest, DumpShowsTheAskedRecordsNumberedFromOne) {
    Put("7", "boom", "\\boom.mp3", "hello");
    Put("12", "bell", "bell.wav", nullptr);
    Put("300", "x", "x.ogg", "y");
    struct Case {
        int slot;
        std::vector<std::string> texts;
    } cases[] = {
        {1, {"2\n12\nbell\nbell.wav\n"}},
        {-1, {"1\n7\nboom\n\\boom.mp3\nhello", "2\n12\nbell\nbell.wav\n", "3\n300\nx\nx.ogg\ny"}},
        {5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        UiDriver driver;
        for (size_t i = 0; i < c.texts.size(); ++i)
            driver.Expect("Database in memory", UiDriver::Press(IDOK));
        ShowDatabaseDump(c.slot);
        EXPECT_EQ(c.texts, driver.SeenTexts());
        EXPECT_TRUE(driver.unexpected.empty());
    }
}

TEST_F(DiagnosticsTest, DumpReportsAnEmptySlotWhateverItIsAskedFor) {
    Put("7", "a", "a", "a");
    SoundRecord* stray = CreateSoundRecord(true); // count 2, slot 1 empty
    UiDriver driver;
    driver.Expect("Dead pointer alert", UiDriver::Press(IDOK));
    ShowDatabaseDump(5);
    DestroySoundRecord(stray);
    ASSERT_EQ(1u, driver.seen.size());
    EXPECT_EQ("2", driver.seen[0].text);
    EXPECT_TRUE(driver.unexpected.empty());
}

TEST_F(DiagnosticsTest, DumpSurvivesAReloadFromInsideItsBox) {
    PutSound("1", "a", "a", "a");
    LoadSounds();
    Put("2", "b", "b", "b"); // in the table only: the reload drops it
    UiDriver driver;
    driver.Expect("Database in memory", [](HWND box) {
        ClearSoundTable();
        LoadSounds();
        UiDriver::Click(box, IDOK);
    });
    ShowDatabaseDump(-1);
    EXPECT_EQ(1u, driver.seen.size());
    EXPECT_EQ(1, soundTable.count);
}

} // namespace
