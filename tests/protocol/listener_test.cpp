// The listener's controls with the real player and notification code and the
// recording engine: sounds let finish wait their turn in order, the flood
// limit holds received sounds back, and the panel's Play is never held.
#include "host/protocol.h"

#include "audio/player.h"
#include "database/settings.h"
#include "host/host_contract.h"

#include "host_side.h"
#include "player_world.h"
#include "recording_engine.h"
#include "toast_catcher.h"

#include <string>
#include <vector>

using namespace testing_support;
using recording_engine::calls;
using recording_engine::controlCalls;

namespace {

class ListenerTest : public PlayerWorldTest {
  protected:
    void SetUp() override {
        PlayerWorldTest::SetUp();
        playbackVolume = kFullVolume;
        letSoundsFinish = false;
        soundsPerMinute = 0;
        ForgetReceivedSounds();
        for (const char* file : {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3", "6.mp3"})
            folder.AddFile(file);
    }
    void TearDown() override {
        CloseAllStreams();
        EXPECT_EQ(0, recording_engine::openStreams) << "a stream was left open";
        PlayerWorldTest::TearDown();
    }
    // The answer to one received sound.
    std::string Receive(const char* code) {
        HostBuffer result;
        EXPECT_EQ(1, ReceiveNotify(code, 0, 0, result.data())) << code;
        EXPECT_TRUE(result.tailIntact()) << code;
        return result.text();
    }
    std::string Opened(const std::string& file) {
        return "FSOUND_Stream_OpenFile(" + folder.SoundPath(file) + ", 0, 0)";
    }
    // The files opened so far, in order.
    std::vector<std::string> OpenedFiles() {
        std::vector<std::string> files;
        const std::string prefix = "FSOUND_Stream_OpenFile(" + folder.SoundPath("");
        for (const std::string& call : recording_engine::CallsStartingWith(prefix))
            files.push_back(call.substr(prefix.size(), call.find(',') - prefix.size()));
        return files;
    }
    std::string Heard() {
        if (!recording_engine::heard)
            return "nothing";
        return recording_engine::NameOf(recording_engine::heard);
    }
};

TEST_F(ListenerTest, LetFinishQueuesThreeInOrderAndDropsTheFifthSilently) {
    letSoundsFinish = true;
    for (const char* code : {"SB1", "SB2", "SB3", "SB4", "SB5"})
        EXPECT_EQ("", Receive(code)) << code;
    // The fifth is not even opened: no error line, nothing in the line.
    EXPECT_EQ((std::vector<std::string>{"1.mp3", "2.mp3", "3.mp3", "4.mp3"}), OpenedFiles());
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Stream_Play").empty());
    EXPECT_TRUE(recording_engine::CallsStartingWith("FSOUND_Stream_Close").empty());
    EXPECT_EQ((std::vector<std::string>{"SbEngineQueueStream(#1, 3) -> playing",
                                        "SbEngineQueueStream(#2, 3) -> waiting",
                                        "SbEngineQueueStream(#3, 3) -> waiting",
                                        "SbEngineQueueStream(#4, 3) -> waiting"}),
              controlCalls);

    // Each starts when the one ahead ends.
    std::vector<std::string> order = {Heard()};
    for (int i = 0; i < 3; ++i) {
        recording_engine::FinishHeard();
        order.push_back(Heard());
    }
    EXPECT_EQ((std::vector<std::string>{"#1", "#2", "#3", "#4"}), order);

    // With room again the next one queues, and the ended ones are closed
    // first, oldest first.
    calls.clear();
    EXPECT_EQ("", Receive("SB6"));
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("FSOUND_Stream_Close(#1)", calls[0]);
    EXPECT_EQ("FSOUND_Stream_Close(#2)", calls[1]);
    EXPECT_EQ("FSOUND_Stream_Close(#3)", calls[2]);
    EXPECT_EQ(0u, calls[3].find(Opened("6.mp3"))) << calls[3];
    EXPECT_EQ("SbEngineQueueStream(#5, 3) -> waiting", controlCalls.back());
    EXPECT_EQ(2, recording_engine::openStreams);
}

TEST_F(ListenerTest, LetFinishAfterASilentEndPlaysTheNextAtOnce) {
    letSoundsFinish = true;
    Receive("SB1");
    recording_engine::FinishHeard();
    calls.clear();
    Receive("SB2");
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("FSOUND_Stream_Close(#1)", calls[0]);
    EXPECT_EQ("SbEngineQueueStream(#2, 3) -> playing", controlCalls.back());
    EXPECT_EQ(currentStream, recording_engine::heard);
}

TEST_F(ListenerTest, WithoutLetFinishEachSoundReplacesTheLineAsBefore) {
    letSoundsFinish = true;
    Receive("SB1");
    Receive("SB2");
    Receive("SB3");
    letSoundsFinish = false;
    calls.clear();
    EXPECT_EQ("", Receive("SB4"));
    // The newest first, so nothing waiting starts in between; the new sound
    // empties the engine's line as it starts.
    EXPECT_EQ((std::vector<std::string>{
                  "FSOUND_Stream_Close(#3)", "FSOUND_Stream_Close(#2)", "FSOUND_Stream_Close(#1)",
                  "FSOUND_Stream_OpenFile(" + folder.SoundPath("4.mp3") + ", 0, 0) -> #4",
                  "FSOUND_Stream_Play(-1, #4)"}),
              calls);
    EXPECT_EQ(1, recording_engine::openStreams);
    EXPECT_TRUE(recording_engine::waiting.empty());
}

TEST_F(ListenerTest, ThePanelsPlayIsNeverQueued) {
    letSoundsFinish = true;
    Receive("SB1");
    Receive("SB2");
    calls.clear();
    ASSERT_EQ(kPlayDone, PlaySoundByIndex(3, true));
    EXPECT_EQ(1u, recording_engine::CallsStartingWith("FSOUND_Stream_Play(-1, #3)").size());
    EXPECT_EQ("#3", Heard());
    EXPECT_TRUE(recording_engine::waiting.empty());
    EXPECT_EQ(1, recording_engine::openStreams);
    // A sound received now waits behind the panel's.
    Receive("SB4");
    EXPECT_EQ("SbEngineQueueStream(#4, 3) -> waiting", controlCalls.back());
}

TEST_F(ListenerTest, LetFinishKeepsEveryReportOfABrokenSound) {
    letSoundsFinish = true;
    folder.AddFile("8.mp3", "not a sound");
    recording_engine::refusedPaths.insert(folder.SoundPath("8.mp3"));
    Receive("SB1");
    Receive("SB2");
    EXPECT_EQ(kMissingLine, Receive("SB7"));
    EXPECT_EQ(kNotOpenedLine, Receive("SB8"));
    recording_engine::failQueue = true;
    EXPECT_EQ(kNotStartedLine, Receive("SB3"));
    // None of them disturbed what plays and waits, and nothing is left open.
    EXPECT_EQ("#1", Heard());
    ASSERT_EQ(1u, recording_engine::waiting.size());
    EXPECT_EQ(2, recording_engine::openStreams);

    // A missing file still makes a toast when toasts are on.
    toastsEnabled = true;
    ToastCatcher catcher;
    EXPECT_EQ("", Receive("SB9"));
    EXPECT_EQ(1u, catcher.toasts.size());
}

TEST_F(ListenerTest, LetFinishWithSoundsOffLeavesWhatPlaysAlone) {
    letSoundsFinish = true;
    Receive("SB1");
    soundsEnabled = false;
    calls.clear();
    EXPECT_EQ("", Receive("SB2"));
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(0u, calls[0].find(Opened("2.mp3"))) << calls[0];
    EXPECT_EQ("FSOUND_Stream_Close(#2)", calls[1]);
    EXPECT_EQ("#1", Heard());
}

TEST_F(ListenerTest, UninitializeClosesEveryStreamInTheLine) {
    letSoundsFinish = true;
    Receive("SB1");
    Receive("SB2");
    Receive("SB3");
    calls.clear();
    CloseAllStreams();
    EXPECT_EQ((std::vector<std::string>{"FSOUND_Stream_Close(#3)", "FSOUND_Stream_Close(#2)",
                                        "FSOUND_Stream_Close(#1)"}),
              calls);
    EXPECT_EQ(nullptr, currentStream);
    calls.clear();
    CloseAllStreams();
    EXPECT_TRUE(calls.empty());
}

TEST_F(ListenerTest, AFloodBeyondTheLimitIsNotPlayedAndToldOnce) {
    const struct {
        int limit;
        bool toasts;
        size_t played, toastCount;
    } cases[] = {{2, true, 2, 1}, {2, false, 2, 0}, {0, true, 5, 0}, {5, true, 5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limit) + " toasts " + std::to_string(c.toasts));
        ForgetReceivedSounds();
        soundsPerMinute = c.limit;
        toastsEnabled = c.toasts;
        calls.clear();
        ToastCatcher catcher;
        for (const char* code : {"SB1", "SB2", "SB3", "SB4", "SB5"})
            EXPECT_EQ("", Receive(code)) << code;
        EXPECT_EQ(c.played, recording_engine::CallsStartingWith("FSOUND_Stream_Play").size());
        ASSERT_EQ(c.toastCount, catcher.toasts.size());
        if (c.toastCount) {
            EXPECT_EQ(L"Some sounds were not played: more than 2 a minute.",
                      catcher.toasts[0].text);
            EXPECT_EQ(L"Sonabell Plugin", catcher.toasts[0].title);
            EXPECT_EQ(0, catcher.toasts[0].flag);
        }
    }
}

TEST_F(ListenerTest, SoundsWithinTheLimitAreReportedAsBeforeAndCount) {
    soundsPerMinute = 3;
    EXPECT_EQ(kMissingLine, Receive("SB7"));
    EXPECT_EQ("", Receive("SB1"));
    recording_engine::refusePlay = true;
    EXPECT_EQ(kNotStartedLine, Receive("SB2"));
    // The missing file counted: the limit is reached, and an error line
    // would be no better than the sound.
    calls.clear();
    EXPECT_EQ("", Receive("SB7"));
    EXPECT_EQ("", Receive("SB3"));
    EXPECT_TRUE(calls.empty());
}

TEST_F(ListenerTest, TheFloodLimitNeverHoldsThePanelsPlay) {
    soundsPerMinute = 1;
    Receive("SB1");
    Receive("SB2");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(kPlayDone, PlaySoundByIndex(3, true));
    EXPECT_EQ(4u, recording_engine::CallsStartingWith("FSOUND_Stream_Play").size());
}

TEST_F(ListenerTest, CodesThatAreNotSoundsNeitherCountNorWarn) {
    soundsPerMinute = 1;
    toastsEnabled = true;
    ToastCatcher catcher;
    for (int i = 0; i < 5; ++i) {
        HostBuffer declined;
        EXPECT_EQ(0, ReceiveNotify("SB0", 0, 0, declined.data()));
        EXPECT_TRUE(declined.untouched());
    }
    EXPECT_EQ("", Receive("SB1"));
    EXPECT_EQ(1u, recording_engine::CallsStartingWith("FSOUND_Stream_Play").size());
    EXPECT_TRUE(catcher.toasts.empty());
}

TEST_F(ListenerTest, FloodAndLineTogether) {
    // Limit 4 and let finish: four pass the gate, the line takes them all.
    soundsPerMinute = 4;
    letSoundsFinish = true;
    for (const char* code : {"SB1", "SB2", "SB3", "SB4", "SB5", "SB6"})
        EXPECT_EQ("", Receive(code));
    EXPECT_EQ((std::vector<std::string>{"1.mp3", "2.mp3", "3.mp3", "4.mp3"}), OpenedFiles());
    EXPECT_EQ(3u, recording_engine::waiting.size());
}

} // namespace
