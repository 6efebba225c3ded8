// ReceiveNotify and the sub-commands with the real modules and the recording
// engine, so the exact engine calls can be checked.
#include "host/protocol.h"

#include "audio/player.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/host_contract.h"

#include "clean_state.h"
#include "host_side.h"
#include "player_world.h"
#include "recording_engine.h"
#include "sound_folder.h"
#include "toast_catcher.h"

#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;
using recording_engine::calls;

namespace {

class NotifyTest : public PlayerWorldTest {
  protected:
    int Notify(const char* code) { return ReceiveNotify(code, 0, 0, result.data()); }
    std::string Open(const std::string& file) {
        return "FSOUND_Stream_OpenFile(" + folder.SoundPath(file) + ", 0, 0)";
    }
    HostBuffer result;
};

TEST_F(NotifyTest, CodesThatAreNotSoundsAreDeclinedUntouched) {
    folder.AddFile("7.mp3");
    for (const char* code : {"", "S", "SB", "sb7", "Sb7", "sB7", "SB0", "SB000", "SBx7", " SB7",
                             "SB 7", "xSB7", "/xSB7"}) {
        HostBuffer declined;
        EXPECT_EQ(0, ReceiveNotify(code, 0, 0, declined.data())) << code;
        EXPECT_TRUE(declined.untouched()) << code;
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(NotifyTest, AnExistingFilePlaysWithoutStartingTheEngine) {
    SoundRecord* record = CreateSoundRecord(true);
    SetRecordText(&record->indexText, "7");
    SetRecordText(&record->command, "hi");
    SetRecordText(&record->filename, "hi.wav");
    SetRecordText(&record->message, "Hello");
    soundTable.slots[0] = record;
    folder.AddFile("hi.wav");
    folder.AddFile("123.mp3");

    ASSERT_EQ(1, Notify("SB7  Hello there"));
    EXPECT_EQ("", result.text());
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(0u, calls[0].find(Open("hi.wav"))) << calls[0];
    EXPECT_EQ(0u, calls[1].find("FSOUND_Stream_Play(-1, #")) << calls[1];

    calls.clear();
    ASSERT_EQ(1, Notify("SB1234"));
    EXPECT_EQ(1u, recording_engine::CallsStartingWith(Open("123.mp3")).size());
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_SetOutput").empty());
    EXPECT_FALSE(audioReady);
}

TEST_F(NotifyTest, LeadingZerosNameTheirOwnFile) {
    SoundRecord* record = CreateSoundRecord(true);
    SetRecordText(&record->indexText, "7");
    SetRecordText(&record->command, "hi");
    SetRecordText(&record->filename, "seven.wav");
    SetRecordText(&record->message, "");
    soundTable.slots[0] = record;
    folder.AddFile("007.mp3");
    folder.AddFile("seven.wav");
    ASSERT_EQ(1, Notify("SB007"));
    EXPECT_EQ("", result.text());
    EXPECT_EQ(1u, recording_engine::CallsStartingWith(Open("007.mp3")).size());
}

TEST_F(NotifyTest, AMissingFileIsReportedAndTheCurrentSoundPlaysOn) {
    folder.AddFile("1.mp3");
    ASSERT_EQ(1, Notify("SB1"));
    FSOUND_STREAM* playing = currentStream;
    calls.clear();

    ASSERT_EQ(1, Notify("SB2"));
    EXPECT_EQ(kMissingLine, result.text());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(playing, currentStream);

    toastsEnabled = true;
    ToastCatcher catcher;
    HostBuffer second;
    ASSERT_EQ(1, ReceiveNotify("SB2", 0, 0, second.data()));
    EXPECT_EQ("", second.text());
    ASSERT_EQ(1u, catcher.toasts.size());
    const CaughtToast& toast = catcher.toasts[0];
    EXPECT_EQ(L"Sonabell Plugin", toast.title);
    EXPECT_EQ(L"Sorry you do not have the file requested installed on your computer", toast.text);
    EXPECT_EQ(0u, toast.param);
    EXPECT_EQ(0, toast.flag);
    EXPECT_EQ(0, toast.lParam);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(playing, currentStream);
}

TEST_F(NotifyTest, ARefusedFileLeavesNoStreamOpen) {
    folder.AddFile("1.mp3");
    folder.AddFile("2.mp3", "plain text, not a sound");
    recording_engine::refusedPaths.insert(folder.SoundPath("2.mp3"));
    ASSERT_EQ(1, Notify("SB1"));
    ASSERT_EQ(1, Notify("SB2"));
    EXPECT_EQ(kNotOpenedLine, result.text());
    EXPECT_EQ(nullptr, currentStream);
    EXPECT_EQ(0, recording_engine::openStreams);
}

TEST_F(NotifyTest, AStreamTheEngineDoesNotStartGivesThePlayingErrorLine) {
    folder.AddFile("1.mp3");
    recording_engine::refusePlay = true;
    ASSERT_EQ(1, Notify("SB1"));
    EXPECT_EQ(kNotStartedLine, result.text());
}

TEST_F(NotifyTest, WithSoundsOffTheFileReplacesTheSoundButIsNotStarted) {
    folder.AddFile("1.mp3");
    folder.AddFile("2.mp3");
    ASSERT_EQ(1, Notify("SB1"));
    const std::string first = calls[0].substr(calls[0].rfind("-> ") + 3);
    soundsEnabled = false;
    calls.clear();
    ASSERT_EQ(1, Notify("SB2"));
    EXPECT_EQ("", result.text());
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("FSOUND_Stream_Close(" + first + ")", calls[0]);
    EXPECT_EQ(0u, calls[1].find(Open("2.mp3"))) << calls[1];
}

class SubCommandTest : public NotifyTest {};

TEST_F(SubCommandTest, EnableAndDisableSwitchSoundsInMemoryOnly) {
    CreateSettingsKey();
    const std::string before = SnapshotRegistry();
    const struct {
        const char* word;
        bool enabled;
    } cases[] = {
        {"/xSBdisable", false}, {"/XSBENABLE", true}, {"/xsbDisable", false}, {"/xSBenable", true}};
    for (const auto& c : cases) {
        HostBuffer answer;
        ASSERT_EQ(1, ParseCommand(c.word, "ignored", 0, answer.data())) << c.word;
        EXPECT_EQ(c.enabled, soundsEnabled) << c.word;
        EXPECT_EQ("", answer.text());
        EXPECT_EQ(std::string(kHostCapacity + 63, '\xA5'), answer.bytes.substr(1));
    }
    EXPECT_EQ(before, SnapshotRegistry());
}

TEST_F(SubCommandTest, ReloadMakesNewRegistrySoundsSendable) {
    HostBuffer declined;
    PutSound("40", "fresh", "fresh.mp3", "new one");
    ASSERT_EQ(0, ParseCommand("/xSBfresh", "", 0, declined.data()));
    EXPECT_TRUE(declined.untouched());

    ASSERT_EQ(1, ParseCommand("/xSBRELOAD", "", 0, result.data()));
    EXPECT_EQ("", result.text());
    EXPECT_EQ(1, soundTable.count);
    HostBuffer line;
    ASSERT_EQ(1, ParseCommand("/xSBfresh", "", 0, line.data()));
    EXPECT_EQ("\x12SB40 new one", line.text());
}

} // namespace
