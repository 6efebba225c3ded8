// The fixture of the tests that drive the player with the recording engine:
// a fresh table, the player's globals at their start values and a sound
// folder the host points at; whatever stream a test leaves is closed.
#ifndef SONABELL_TESTS_PROTOCOL_PLAYER_WORLD_H
#define SONABELL_TESTS_PROTOCOL_PLAYER_WORLD_H

#include "audio/fsound.h"
#include "audio/player.h"
#include "database/settings.h"
#include "database/sound_table.h"

#include "clean_state.h"
#include "recording_engine.h"
#include "sound_folder.h"

namespace testing_support {

class PlayerWorldTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        recording_engine::Reset();
        currentStream = nullptr;
        audioReady = false;
        soundsEnabled = true;
        toastsEnabled = false;
        ClearSoundTable();
        folder.PointHostHere();
    }
    void TearDown() override {
        if (currentStream)
            FSOUND_Stream_Close(currentStream);
        currentStream = nullptr;
        ClearSoundTable();
        CleanRegistryTest::TearDown();
    }
    SoundFolder folder;
};

} // namespace testing_support

#endif
