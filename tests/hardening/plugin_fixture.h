// A clean registry, a sound folder the host's PluginDir names, the built DLL
// loaded fresh, and the silent output for an engine that plays for real.
#ifndef SONABELL_TESTS_HARDENING_PLUGIN_FIXTURE_H
#define SONABELL_TESTS_HARDENING_PLUGIN_FIXTURE_H

#include "clean_state.h"
#include "hardening_support.h"
#include "plugin_dll.h"
#include "sound_folder.h"

namespace testing_support {

class PluginTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "silent");
        CleanRegistryTest::SetUp();
        folder.PointHostHere();
        dll.Load(SONABELL_DLL_PATH);
    }
    void TearDown() override {
        Stop();
        dll.Unload();
        CleanRegistryTest::TearDown();
    }
    void Start(bool sounds = true, bool toasts = false) {
        WriteSwitches(sounds, toasts);
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        initialized = true;
    }
    void Stop() {
        if (initialized)
            dll.Uninitialize();
        initialized = false;
    }
    int Notify(const char* code, HostBuffer& result) {
        return dll.ReceiveNotify(code, 0, 0, result.data());
    }
    int Command(const char* word, const char* text, HostBuffer& result) {
        return dll.ParseCommand(word, text, 0, result.data());
    }
    PluginDll dll;
    SoundFolder folder;
    bool initialized = false;
};

} // namespace testing_support

#endif
