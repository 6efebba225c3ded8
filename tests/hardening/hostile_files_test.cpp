// Sound files that are not what they claim, through the built DLL. Each gets
// its one answer: played (empty), not opened by the engine, or missing when
// it cannot be opened for reading.
#include "plugin_fixture.h"

#include <string>

using namespace testing_support;

namespace {

const std::string kPlayed; // a sound that plays answers nothing

class HostileFilesTest : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        Start(true, false);
        before = SnapshotRegistry();
    }
    void TearDown() override {
        EXPECT_EQ(before, SnapshotRegistry());
        PluginTest::TearDown();
    }
    std::string Answer(const char* code) {
        HostBuffer result;
        EXPECT_EQ(1, Notify(code, result)) << code;
        EXPECT_TRUE(result.tailIntact()) << code;
        return result.text();
    }
    std::string before;
};

TEST_F(HostileFilesTest, FilesThatAreNotTheirFormat) {
    const std::string wav = WavBytes(200);
    const std::string& refused = kNotOpenedLine;
    const struct {
        const char* name;
        std::string bytes;
        const std::string& answer;
    } cases[] = {
        {"1.mp3", "", refused},
        {"2.mp3", std::string("\xFF\xFB\x90\x64", 4), refused}, // one frame header, no frame
        {"3.mp3", "ID3\x04" + std::string(6, '\x7F'), refused}, // a tag that claims 256 MB
        {"4.mp3", RandomBytes(64 * 1024, 4), refused},
        {"5.mp3", wav.substr(0, 30), refused}, // a WAV cut inside its header
        // Data shorter than its header claims: what there is plays.
        {"6.mp3", wav.substr(0, 44) + RandomBytes(10, 6), kPlayed},
        {"7.mp3", "OggS" + RandomBytes(4000, 7), refused},
        {"8.mp3", "RIFF\xFF\xFF\xFF\xFFWAVEfmt " + RandomBytes(100, 8), refused},
        {"9.mp3", "fLaC" + RandomBytes(100, 9), refused},
        {"10.mp3", std::string(1024 * 1024, '\0'), refused},
        {"11.mp3", wav, kPlayed}, // a good WAV under an MP3 name
    };
    for (const auto& c : cases)
        folder.AddFile(c.name, c.bytes);
    for (const auto& c : cases) {
        const std::string code =
            "SB" + std::string(c.name).substr(0, std::string(c.name).find('.'));
        EXPECT_EQ(c.answer, Answer(code.c_str())) << c.name;
    }
}

TEST_F(HostileFilesTest, AFolderWhereTheFileShouldBe) {
    CreateDirectoryA(folder.SoundPath("12.mp3").c_str(), nullptr);
    EXPECT_EQ(kMissingLine, Answer("SB12"));
    RemoveDirectoryA(folder.SoundPath("12.mp3").c_str());
}

TEST_F(HostileFilesTest, AFileLockedByAnotherHandleIsMissingUntilReleased) {
    folder.AddFile("13.mp3", WavBytes(100));
    HANDLE lock = CreateFileA(folder.SoundPath("13.mp3").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(kMissingLine, Answer("SB13"));
    CloseHandle(lock);
    EXPECT_EQ(kPlayed, Answer("SB13"));
}

TEST_F(HostileFilesTest, AFileDeletedWhilePlaying) {
    folder.AddFile("14.mp3", WavBytes(2000));
    folder.AddFile("15.mp3", WavBytes(2000));
    EXPECT_EQ(kPlayed, Answer("SB14"));
    // An engine may hold the file open without delete sharing: either way is
    // fine, each with its own answer.
    const bool deleted = DeleteFileA(folder.SoundPath("14.mp3").c_str()) != 0;
    EXPECT_EQ(deleted ? kMissingLine : kPlayed, Answer("SB14"));
    EXPECT_EQ(kPlayed, Answer("SB15"));
    // The stream of a deleted file closes without trouble.
    Stop();
    ASSERT_EQ(1, dll.Initialize(0, 0, 0));
    initialized = true;
    folder.RemoveFile("14.mp3");
    EXPECT_EQ(kMissingLine, Answer("SB14"));
}

TEST_F(HostileFilesTest, FileNamesThatCannotBeFiles) {
    const struct {
        const char* index;
        std::string filename;
    } cases[] = {
        {"20", std::string(300, 'n') + ".mp3"}, // past the path limit
        {"21", "..\\..\\..\\..\\..\\..\\nowhere.mp3"},
        {"22", "\\"},
        {"23", "a\x01\x02.mp3"},
        {"24", "*.mp3"},
        {"26", "x:\\y.mp3"},
    };
    for (const auto& c : cases)
        PutSound(c.index, std::string("f") + c.index, c.filename, "m");
    Stop();
    ASSERT_EQ(1, dll.Initialize(0, 0, 0));
    initialized = true;
    before = SnapshotRegistry();
    for (const auto& c : cases) {
        EXPECT_EQ(kMissingLine, Answer((std::string("SB") + c.index).c_str())) << c.filename;
    }
}

} // namespace
