// Checking a pack: the verdict of every section through the real profile
// functions and Wine's registry, files opened by the recording engine.
#include "soundpack/pack_check.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "soundpack/soundpack.h"

#include "clean_state.h"
#include "pack_files.h"
#include "pack_world.h"
#include "recording_engine.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

bool Collect(const PackCheckRow& row, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(PackCheckRowText(row));
    return true;
}

class PackCheckTest : public PackWorldTest {
  protected:
    void SetUp() override {
        PackWorldTest::SetUp();
        recording_engine::Reset();
    }
    // Rows of a check whose sound folder is the pack folder.
    std::vector<std::string> Check(const std::string& pack, PackCheckWorld world, int* result) {
        world.soundFolder = PackFolder();
        std::vector<std::string> rows;
        *result = CheckSoundpack(pack.c_str(), world, Collect, &rows);
        return rows;
    }
};

const std::string kLongMessage(1100, 'm');

// Every verdict once; the database holds sound 7 ("hi") and, in the world the
// check is given, enough others that the last section finds it full.
TEST_F(PackCheckTest, HostilePackGetsOneExactRowPerSection) {
    PutSound("7", "hi", "hi.mp3", "Hi");
    LoadSounds();
    WritePack("ok.mp3", "sound");
    WritePack("bad.mp3", "noise");
    recording_engine::refusedPaths.insert(PackFolder() + "bad.mp3");
    recording_engine::lengthsMs[PackFolder() + "ok.mp3"] = 2345; // told to the hundredth
    const std::string pack =
        WritePack("hostile.ini", PackText("16", {
                                                    {"1", "ok", "ok.mp3", "Fine"},
                                                    {"2", "b", nullptr, "B"},
                                                    {nullptr, "c", "c.mp3", ""},
                                                    {"abc", "d", "ok.mp3", "D"},
                                                    {"7", "e", "ok.mp3", "E"},
                                                    {"1", "f", "ok.mp3", "F"},
                                                    {"8", "g", "gone.mp3", "G"},
                                                    {"9", "h", "bad.mp3", "H"},
                                                    {"10", "Reload", "ok.mp3", "I"},
                                                    {"11", "two words", "ok.mp3", "J"},
                                                    {"12", "dup", "ok.mp3", "K"},
                                                    {"13", "DUP", "ok.mp3", "L"},
                                                    {"14", "HI", "ok.mp3", "M"},
                                                    {"15", "long", "ok.mp3", kLongMessage.c_str()},
                                                    {"16", "p", "ok.mp3", "P"},
                                                    {"17", "q", "ok.mp3", "Q"},
                                                }));
    PackCheckWorld world = CurrentPackCheckWorld();
    // Nine sections would install before the one indexed 16.
    while (world.indexes.size() < static_cast<size_t>(kTableCapacity) - 9) {
        world.indexes.push_back("x");
        world.commands.push_back("");
    }
    const std::string before = SnapshotRegistry();
    const std::string logBefore = ReadFileBytes(SONABELL_ERROR_LOG_PATH);
    const int countBefore = soundTable.count;

    int result = 0;
    const std::vector<std::string> rows = Check(pack, world, &result);

    const std::string exists = "already exists in database, will not redefine";
    const std::string full = "the database would be full (999 sounds)";
    const std::string len = "\t2.35"; // a file that opens: its length
    const std::string none = "\t";
    const std::vector<std::string> expected = {
        "1\tok\tok.mp3\twould install\t" + len,
        "2\tb\t\twould be skipped\tmissing or empty key: Filename" + none,
        "Sound3\tc\tc.mp3\twould be skipped\tmissing or empty key: SoundIndex, Message" + none,
        "abc\td\tok.mp3\twould be skipped\tthe database refuses this index (code -3)" + none,
        "7\te\tok.mp3\twould be skipped\t" + exists + none,
        "1\tf\tok.mp3\twould be skipped\tindex already used by Sound1 of this pack: " + exists +
            none,
        "8\tg\tgone.mp3\twarning\tfile not in the sound folder: users would get the "
        "missing-file line" +
            none,
        "9\th\tbad.mp3\twarning\tthe engine cannot open the file: users would get the "
        "opening-error line" +
            none,
        "10\tReload\tok.mp3\twarning\tcommand is the sub-command keyword \"reload\": it can "
        "never be sent" +
            len,
        "11\ttwo words\tok.mp3\twarning\tcommand contains a space: it can never be sent" + len,
        "12\tdup\tok.mp3\twarning\tcommand also used by Sound12 of this pack" + len,
        "13\tDUP\tok.mp3\twarning\tcommand also used by Sound11 of this pack" + len,
        "14\tHI\tok.mp3\twarning\tcommand also used by sound 7 of the database" + len,
        "15\tlong\tok.mp3\twarning\tthe sound line with its message is 1106 bytes: cut to 1023" +
            len,
        "16\tp\tok.mp3\twould be skipped\t" + full + none,
        "17\tq\tok.mp3\twould be skipped\t" + full + none,
    };
    EXPECT_EQ(kPackDone, result);
    ASSERT_EQ(expected.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(expected[i], rows[i]) << "Sound" << i + 1;

    // Nothing written anywhere, and every stream the check opened is closed.
    EXPECT_EQ(before, SnapshotRegistry());
    EXPECT_EQ(logBefore, ReadFileBytes(SONABELL_ERROR_LOG_PATH));
    EXPECT_EQ(countBefore, soundTable.count);
    EXPECT_EQ("", errorReport);
    EXPECT_EQ(0, recording_engine::openStreams);
}

TEST_F(PackCheckTest, ReadOnlyDatabaseSkipsEverySectionWithTheStoresMessage) {
    PutSound("1", "a", "a.mp3", "A");
    MakeSoundDatabaseReadOnly();
    const std::string pack =
        WritePack("ro.ini", PackText("2", {{"2", "b", "b.mp3", "B"}, {"3", "c", "c.mp3", "C"}}));
    const std::string before = SnapshotRegistry();
    int result = 0;
    const std::vector<std::string> rows = Check(pack, CurrentPackCheckWorld(), &result);
    const std::string skipped = std::string("\twould be skipped\t") + kReadOnlyDatabaseText + "\t";
    EXPECT_EQ((std::vector<std::string>{"2\tb\tb.mp3" + skipped, "3\tc\tc.mp3" + skipped}), rows);
    EXPECT_EQ(before, SnapshotRegistry());
}

TEST_F(PackCheckTest, PackInstallRefusesWholeGetsInstallsMessageAndNoRows) {
    const struct {
        const char* name;
        std::string path;
        int result;
    } cases[] = {
        {"no such file", PackFolder() + "none.ini", kPackUnreadable},
        {"no TotalSounds", WritePack("nototal.ini", PackText(nullptr, {})), kPackNoSounds},
        {"zero", WritePack("zero.ini", PackText("0", {})), kPackNoSounds},
        {"negative", WritePack("negative.ini", PackText("-3", {})), kPackNoSounds},
    };
    for (const auto& c : cases) {
        int result = 0;
        EXPECT_TRUE(Check(c.path, CurrentPackCheckWorld(), &result).empty()) << c.name;
        EXPECT_EQ(c.result, result) << c.name;
    }
    EXPECT_STREQ(kPackUnreadableText, PackRefusalText(kPackUnreadable));
    EXPECT_STREQ(kPackNoSoundsText, PackRefusalText(kPackNoSounds));
}

TEST_F(PackCheckTest, LengthsAreToldInSecondsToTheHundredth) {
    const struct {
        long ms;
        const char* text;
    } cases[] = {{-1, ""},      {0, "0.00"},   {4, "0.00"},    {5, "0.01"},
                 {994, "0.99"}, {995, "1.00"}, {1500, "1.50"}, {61005, "61.01"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.text, PackLengthText(c.ms)) << c.ms;
}

bool StopAfterTwo(const PackCheckRow& row, void* context) {
    static_cast<std::vector<int>*>(context)->push_back(row.section);
    return row.section < 2;
}

TEST_F(PackCheckTest, SinkStopsTheCheckAtOnce) {
    const std::string pack = WritePack(
        "stop.ini",
        PackText("3", {{"1", "a", "a", "A"}, {"2", "b", "b", "B"}, {"3", "c", "c", "C"}}));
    std::vector<int> seen;
    EXPECT_EQ(kPackDone,
              CheckSoundpack(pack.c_str(), CurrentPackCheckWorld(), StopAfterTwo, &seen));
    EXPECT_EQ((std::vector<int>{1, 2}), seen);
}

} // namespace
