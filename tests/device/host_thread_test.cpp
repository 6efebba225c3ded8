// The host's own thread keeps its COM apartment whatever the plug-in plays
// on: the audio library initialises COM on the thread that opens a device,
// so the engine must never open, start or shut one on the caller's thread.
// The silent output runs in every Wine tree, the real outputs in the device
// lane (the test registration picks them by name).
#include <objbase.h>
#include <ole2.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "clean_state.h"
#include "host/host_contract.h"
#include "host_side.h"
#include "plugin_dll.h"
#include "sound_folder.h"

using namespace testing_support;

namespace {

struct Apartment {
    HRESULT hr = E_FAIL;
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
};

Apartment Current() {
    Apartment a;
    a.hr = CoGetApartmentType(&a.type, &a.qualifier);
    return a;
}

class HostThread : public CleanRegistryTest, public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", GetParam().c_str());
        folder.PointHostHere();
        folder.AddFile("1.mp3");
        WriteSwitches(true, false);
        dll.Load(SONABELL_DLL_PATH);
    }
    void TearDown() override {
        dll.Unload();
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
        CleanRegistryTest::TearDown();
    }
    // Everything a host does with the plug-in, from loading to unloading,
    // on the calling thread.
    void UseThePlugin() {
        EXPECT_EQ(1, dll.Initialize(0, 0, 0));
        HostBuffer result;
        EXPECT_EQ(1, dll.ReceiveNotify("SB1", 0, 0, result.data()));
        EXPECT_EQ("", result.text());
        std::vector<unsigned char> info(kCommandInfoAuxOffset + 2 * kCommandInfoAuxSize);
        char name[32];
        int reserved = -1;
        EXPECT_EQ(1, dll.PublishInfo(name, info.data(), &reserved));
        dll.Uninitialize();
    }
    PluginDll dll;
    SoundFolder folder;
};

TEST_P(HostThread, AnOleThreadKeepsItsApartment) {
    std::thread host([&] {
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        Apartment before = Current();
        UseThePlugin();
        Apartment after = Current();
        EXPECT_EQ(S_OK, before.hr);
        EXPECT_EQ(S_OK, after.hr);
        EXPECT_TRUE(before.type == APTTYPE_STA || before.type == APTTYPE_MAINSTA);
        EXPECT_EQ(before.type, after.type);
        EXPECT_EQ(before.qualifier, after.qualifier);
        // Still the host's own apartment, with the host's reference in it.
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CoUninitialize();
        OleUninitialize();
    });
    host.join();
}

TEST_P(HostThread, AThreadWithoutComStillHasNone) {
    std::thread host([&] {
        ASSERT_EQ(CO_E_NOTINITIALIZED, Current().hr);
        UseThePlugin();
        EXPECT_EQ(CO_E_NOTINITIALIZED, Current().hr);
        // And the host can still choose its apartment.
        EXPECT_EQ(S_OK, OleInitialize(nullptr));
        OleUninitialize();
    });
    host.join();
}

INSTANTIATE_TEST_SUITE_P(Outputs, HostThread,
                         ::testing::Values("silent", "wasapi", "dsound", "winmm"),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             return param.param;
                         });

} // namespace
