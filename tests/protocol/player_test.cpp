// Sound file resolution and playback with the real player and the recording
// engine.
#include "audio/player.h"

#include "database/settings.h"
#include "database/sound_table.h"

#include "clean_state.h"
#include "player_world.h"
#include "recording_engine.h"
#include "sound_folder.h"

#include <string>
#include <vector>

using namespace testing_support;
using recording_engine::calls;

namespace {

const std::vector<std::string> kEngineStart = {"FSOUND_SetOutput(1)", "FSOUND_SetDriver(0)",
                                               "FSOUND_Init(40100, 32, 2)"};

void AddRecord(const char* index, const char* command, const char* filename, const char* message) {
    SoundRecord* record = CreateSoundRecord(true);
    SetRecordText(&record->indexText, index);
    SetRecordText(&record->command, command);
    SetRecordText(&record->filename, filename);
    SetRecordText(&record->message, message);
    soundTable.slots[FindFreeSlot()] = record;
}

// "#n" of the stream an OpenFile call in the log returned.
std::string StreamOf(const std::string& openCall) {
    return openCall.substr(openCall.rfind("-> ") + 3);
}

std::string Open(const std::string& path) {
    return "FSOUND_Stream_OpenFile(" + path + ", 0, 0)";
}

class PlayerTest : public PlayerWorldTest {};

TEST_F(PlayerTest, ResolvesTheRecordsFileOrTheIndexWithMp3) {
    AddRecord("7", "hi", "ding.wav", "Hello");
    AddRecord("ab", "x", "letters.ogg", "");
    AddRecord("5", "five", "\\five.mp3", "");
    struct Case {
        const char* digits;
        std::string file;
    } cases[] = {
        {"7", "ding.wav"},   {"12", "12.mp3"},
        {"007", "007.mp3"}, // leading zeros are kept and match no record "7"
        {"0", "0.mp3"},      {"AB", "letters.ogg"}, // index texts compare without letter case
        {"5", "\\five.mp3"},                        // as the add dialog stores it: two backslashes
    };
    for (const Case& c : cases)
        EXPECT_EQ(folder.SoundPath(c.file), ResolveSoundPath(c.digits)) << c.digits;
}

TEST_F(PlayerTest, WithoutAUsablePluginDirTheDllsOwnFolderIsUsed) {
    // The test executable stands in for the DLL: its module handle is unset.
    const std::string own = ModuleFolder(nullptr) + "\\Sonabell\\9.mp3";
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"empty string", REG_SZ, std::string(1, '\0')},
        {"zero bytes", REG_SZ, ""},
        {"a number", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {"binary", REG_BINARY, "C:\\x"},
    };
    for (const Case& c : cases) {
        folder.SetPluginDirValue(c.type, c.bytes);
        EXPECT_EQ(own, ResolveSoundPath("9")) << c.what;
    }
    ResetRegistry();
    EXPECT_EQ(own, ResolveSoundPath("9")) << "no host key";
}

TEST_F(PlayerTest, PluginDirStoredWithoutItsZeroIsStillEndedWhereItEnds) {
    folder.SetPluginDirValue(REG_SZ, folder.pluginDir());
    EXPECT_EQ(folder.SoundPath("3.mp3"), ResolveSoundPath("3"));
    folder.SetPluginDirValue(REG_EXPAND_SZ, folder.pluginDir() + std::string("\0junk", 5));
    EXPECT_EQ(folder.SoundPath("3.mp3"), ResolveSoundPath("3"));
}

TEST_F(PlayerTest, PathsBeyondTheSystemLimitAreKeptWholeAndCountAsMissing) {
    const std::string longDir = folder.pluginDir() + "\\" + std::string(300, 'd');
    folder.SetPluginDirValue(REG_SZ, longDir);
    EXPECT_EQ(longDir + "\\Sonabell\\4.mp3", ResolveSoundPath("4"));
    EXPECT_FALSE(SoundFileExists(ResolveSoundPath("4")));

    folder.PointHostHere();
    AddRecord("4", "four", std::string(300, 'f').c_str(), "");
    EXPECT_EQ(kPlayMissingFile, PlaySoundByIndex(4, true));
    EXPECT_TRUE(calls.empty());
}

TEST_F(PlayerTest, ExistenceTestOpensFilesOnly) {
    folder.AddFile("here.mp3");
    EXPECT_TRUE(SoundFileExists(folder.SoundPath("here.mp3")));
    EXPECT_TRUE(SoundFileExists(folder.SoundPath("\\here.mp3")));
    EXPECT_FALSE(SoundFileExists(folder.SoundPath("gone.mp3")));
    EXPECT_FALSE(SoundFileExists(folder.pluginDir() + "\\Sonabell"));
    EXPECT_FALSE(SoundFileExists(""));
}

TEST_F(PlayerTest, EachOpenClosesThePreviousStreamFirst) {
    const std::string a = folder.SoundPath("a.mp3"), b = folder.SoundPath("b.mp3");
    ASSERT_EQ(kPlayDone, OpenSoundStream(a, true));
    ASSERT_EQ(2u, calls.size());
    const std::string first = StreamOf(calls[0]);
    EXPECT_EQ(Open(a) + " -> " + first, calls[0]);
    EXPECT_EQ("FSOUND_Stream_Play(-1, " + first + ")", calls[1]);

    ASSERT_EQ(kPlayDone, OpenSoundStream(b, true));
    ASSERT_EQ(5u, calls.size());
    const std::string second = StreamOf(calls[3]);
    EXPECT_EQ("FSOUND_Stream_Close(" + first + ")", calls[2]);
    EXPECT_EQ(Open(b) + " -> " + second, calls[3]);
    EXPECT_EQ("FSOUND_Stream_Play(-1, " + second + ")", calls[4]);
    EXPECT_EQ(1, recording_engine::openStreams);
}

TEST_F(PlayerTest, OpenWithoutPlayingLeavesTheStreamOpenAndSilent) {
    ASSERT_EQ(kPlayDone, OpenSoundStream(folder.SoundPath("a.mp3"), false));
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Stream_Play").empty());
    EXPECT_NE(nullptr, currentStream);
    EXPECT_EQ(1, recording_engine::openStreams);
}

TEST_F(PlayerTest, ARefusedFileLeavesNoStreamOpen) {
    const std::string good = folder.SoundPath("a.mp3"), bad = folder.SoundPath("bad.mp3");
    recording_engine::refusedPaths.insert(bad);
    ASSERT_EQ(kPlayDone, OpenSoundStream(good, true));
    EXPECT_EQ(kPlayNotOpened, OpenSoundStream(bad, true));
    EXPECT_EQ(nullptr, currentStream);
    EXPECT_EQ(0, recording_engine::openStreams);
    EXPECT_EQ(Open(bad) + " -> 0", calls.back());
    // Nothing is left to close before the next open.
    calls.clear();
    ASSERT_EQ(kPlayDone, OpenSoundStream(good, true));
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Stream_Close").empty());
}

TEST_F(PlayerTest, AStreamTheEngineDoesNotStartStaysOpen) {
    recording_engine::refusePlay = true;
    EXPECT_EQ(kPlayNotStarted, OpenSoundStream(folder.SoundPath("a.mp3"), true));
    EXPECT_NE(nullptr, currentStream);
    EXPECT_EQ(1, recording_engine::openStreams);
}

TEST_F(PlayerTest, OnlyTheFirstPlayOfAnExistingFileStartsTheEngineAgain) {
    folder.AddFile("1.mp3");
    EXPECT_EQ(kPlayMissingFile, PlaySoundByIndex(2, true));
    EXPECT_FALSE(audioReady);
    EXPECT_TRUE(calls.empty());

    ASSERT_EQ(kPlayDone, PlaySoundByIndex(1, true));
    EXPECT_TRUE(audioReady);
    ASSERT_EQ(5u, calls.size());
    EXPECT_EQ(kEngineStart, std::vector<std::string>(calls.begin(), calls.begin() + 3));
    EXPECT_EQ(0u, calls[3].find(Open(folder.SoundPath("1.mp3")))) << calls[3];

    calls.clear();
    ASSERT_EQ(kPlayDone, PlaySoundByIndex(1, true));
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Init").empty());
    EXPECT_EQ(3u, calls.size()); // close, open, play
}

TEST_F(PlayerTest, PlaysWhenSoundsAreOnOrWhenForced) {
    folder.AddFile("1.mp3");
    struct Case {
        bool enabled, force, plays;
    } cases[] = {
        {true, false, true}, {true, true, true}, {false, true, true}, {false, false, false}};
    for (const Case& c : cases) {
        soundsEnabled = c.enabled;
        calls.clear();
        EXPECT_EQ(kPlayDone, PlaySoundByIndex(1, c.force));
        EXPECT_EQ(c.plays ? 1u : 0u,
                  recording_engine::CallsStartingWith("FSOUND_Stream_Play").size())
            << c.enabled << c.force;
    }
}

TEST_F(PlayerTest, AMissingFileLeavesTheCurrentStreamPlaying) {
    folder.AddFile("1.mp3");
    ASSERT_EQ(kPlayDone, PlaySoundByIndex(1, true));
    FSOUND_STREAM* playing = currentStream;
    calls.clear();
    folder.RemoveFile("1.mp3");
    EXPECT_EQ(kPlayMissingFile, PlaySoundByIndex(1, true));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(playing, currentStream);
    EXPECT_EQ(1, recording_engine::openStreams);
}

TEST_F(PlayerTest, PlayByIndexFindsTheRecordOrTheNumberedFile) {
    AddRecord("7", "hi", "ding.wav", "Hello");
    folder.AddFile("ding.wav");
    folder.AddFile("12.mp3");
    folder.AddFile("0.mp3");
    audioReady = true;
    const struct {
        int index;
        const char* file;
    } cases[] = {{7, "ding.wav"}, {12, "12.mp3"}, {0, "0.mp3"}};
    for (const auto& c : cases) {
        calls.clear();
        ASSERT_EQ(kPlayDone, PlaySoundByIndex(c.index, false)) << c.index;
        EXPECT_EQ(1u, recording_engine::CallsStartingWith(Open(folder.SoundPath(c.file))).size())
            << c.index;
    }
}

} // namespace
