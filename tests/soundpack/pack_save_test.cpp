// Saving the database as a pack and installing it again: what the format can
// carry comes back unchanged, what it cannot is reported, not altered.
#include "soundpack/pack_save.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/soundpack.h"

#include "clean_state.h"
#include "pack_files.h"
#include "pack_world.h"

#include <map>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct Sound {
    std::string index, command, filename, message;
};

// Every record of the table by index text, after a reload from the registry.
std::map<std::string, std::vector<std::string>> ReloadedRecords() {
    ClearSoundTable();
    LoadSounds();
    std::map<std::string, std::vector<std::string>> records;
    for (const SoundRecord* record : soundTable.slots) {
        if (record)
            records[record->indexText] = {record->command, record->filename, record->message};
    }
    return records;
}

using PackSaveTest = PackWorldTest;

TEST_F(PackSaveTest, RoundTripKeepsEveryCarriableRecordAndReportsTheRest) {
    const std::string longest(2047, 'x');
    const std::vector<Sound> carried = {
        {"1", "a", "a.mp3", longest},
        {"2", "b", "b.mp3", "  leading and trailing  "},
        {"3", "c", "c.mp3", "\"quoted\""},
        {"4", "d", "d.mp3", "'single'"},
        {"5", "e", "e.mp3", "a=b; c \"d\" 'e' ;"},
        {"6", "caf\xe9", "\xfc\xdf.mp3", "na\xefve \xa9 \xbf?"},
        {"7", longest, "g.mp3", "\"open"},
        {"8", "h", "h.mp3", ";like a comment"},
        {"9", "i", "i.mp3", "[like a section]"},
        {"10", "j", "j.mp3", " " + std::string(2043, 'y') + " "},
        {"999", "z", "z.mp3", "last"},
    };
    for (const Sound& s : carried)
        PutSound(s.index, s.command, s.filename, s.message);
    const struct {
        Sound sound;
        std::string problem;
    } refused[] = {
        {{"20", "k", "k.mp3", ""},
         "Sound 20 not saved: its Message is empty, which Install would skip."},
        {{"21", "l", "l.mp3", "two\r\nlines"},
         "Sound 21 not saved: its Message holds a line break."},
        {{"22", "m", "m.mp3", std::string(2048, 'm')},
         "Sound 22 not saved: its Message is longer than 2,047 characters."},
        {{"23", "n", " " + std::string(2046, 'n'), "N"},
         "Sound 23 not saved: its Filename is longer than 2,047 characters with the quotes its "
         "edges need."},
    };
    for (const auto& r : refused)
        PutSound(r.sound.index, r.sound.command, r.sound.filename, r.sound.message);
    LoadSounds();
    const auto before = ReloadedRecords();
    const std::string registryBefore = SnapshotRegistry();

    // Only a.mp3 is in the sound folder; an older pack with more sections is
    // at the target, and none of it may survive.
    const std::string folder = PackFolder();
    CreateDirectoryA((folder + "sounds").c_str(), nullptr);
    WritePack("sounds\\a.mp3", "the sound");
    const std::string path = WritePack(
        "saved.ini", PackText("40", {{"50", "old", "old.mp3", "Old"}}) + "[Extra]\r\nx=1\r\n");

    PackSaveOutcome outcome;
    ASSERT_TRUE(SaveSoundpack(path.c_str(), folder + "sounds\\", &outcome));
    EXPECT_EQ(static_cast<int>(carried.size()), outcome.saved);
    std::vector<std::string> expected;
    for (const auto& r : refused)
        expected.push_back(r.problem);
    for (const Sound& s : carried) {
        if (s.index != "1")
            expected.push_back("Sound " + s.index + ": its file " + s.filename +
                               " is not in the sound folder.");
    }
    EXPECT_EQ(expected, outcome.problems);
    EXPECT_EQ("the sound", ReadFileBytes(folder + "a.mp3"));
    EXPECT_EQ(registryBefore, SnapshotRegistry());
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(std::string::npos, saved.find("Extra"));
    EXPECT_EQ(std::string::npos, saved.find("old.mp3"));
    // Index order: sound 10 comes after sound 9, not after sound 1.
    EXPECT_LT(saved.find("SoundIndex=9\r"), saved.find("SoundIndex=10\r"));

    ResetRegistry();
    ClearSoundTable();
    ASSERT_EQ(kPackDone, InstallSoundpack(path.c_str()));
    EXPECT_EQ("", errorReport);
    auto expectedRecords = before;
    for (const auto& r : refused)
        expectedRecords.erase(r.sound.index);
    const auto installed = ReloadedRecords();
    EXPECT_EQ(expectedRecords.size(), installed.size());
    // One index at a time: a 2,047-character field is too long to print.
    for (const auto& [index, record] : expectedRecords) {
        const auto found = installed.find(index);
        EXPECT_TRUE(found != installed.end() && found->second == record) << "sound " << index;
    }
    DeleteFileA((folder + "a.mp3").c_str());
    DeleteFileA((folder + "sounds\\a.mp3").c_str());
    RemoveDirectoryA((folder + "sounds").c_str());
}

// The file holds what the profile functions write, a section at a time, byte
// for byte: values that need them in quotes, the rest as they are.
TEST_F(PackSaveTest, WritesTheBytesTheProfileFunctionsWould) {
    const struct {
        const char* index;
        const char* message;
        const char* written;
    } sounds[] = {
        {"1", "plain", "plain"},
        {"2", "  padded  ", "\"  padded  \""},
        {"3", "'single'", "\"'single'\""},
        {"10", "a=b; c \"d\" e", "a=b; c \"d\" e"},
        {"11", "caf\xe9 \xa9", "caf\xe9 \xa9"},
    };
    const std::string reference = PackFolder() + "reference.ini";
    DeleteFileA(reference.c_str());
    const std::string header = std::string("TotalSounds=5") + '\0';
    WritePrivateProfileSectionA("Header", header.c_str(), reference.c_str());
    int section = 0;
    for (const auto& sound : sounds) {
        const std::string index = sound.index;
        PutSound(index, "c" + index, "f" + index + ".mp3", sound.message);
        std::string text = "SoundIndex=" + index + '\0' + "Command=c" + index + '\0' +
                           "Filename=f" + index + ".mp3" + '\0' + "Message=" + sound.written + '\0';
        const std::string name = "Sound" + std::to_string(++section);
        WritePrivateProfileSectionA(name.c_str(), text.c_str(), reference.c_str());
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, reference.c_str());
    LoadSounds();

    const std::string path = PackFolder() + "exact.ini";
    PackSaveOutcome outcome;
    ASSERT_TRUE(SaveSoundpack(path.c_str(), PackFolder(), &outcome));
    EXPECT_EQ(5, outcome.saved);
    const std::string expected = ReadFileBytes(reference);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, ReadFileBytes(path));
    DeleteFileA(reference.c_str());
    DeleteFileA(path.c_str());
}

TEST_F(PackSaveTest, UnwritableTargetLeavesNothingAndSaysSo) {
    PutSound("1", "a", "a.mp3", "A");
    LoadSounds();
    PackSaveOutcome outcome;
    EXPECT_FALSE(SaveSoundpack("C:\\no\\such\\folder\\pack.ini", PackFolder(), &outcome));
    EXPECT_EQ(0, outcome.saved);
}

} // namespace
