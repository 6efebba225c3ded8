// A full 999-sound pack installed and uninstalled, five times over:
// the process's handles, windows and private bytes stay flat.
#include "soundpack/soundpack.h"

#include "database/sound_table.h"
#include "soundpack/diagnostics.h"

#include "clean_state.h"
#include "hardening_support.h"
#include "pack_files.h"
#include "ui_driver.h"

#include <string>

using namespace testing_support;

namespace {

std::string NumberedPack(const std::string& name, int first, int last) {
    std::string text = "[Header]\r\nTotalSounds=" + std::to_string(last - first + 1) + "\r\n";
    for (int i = first; i <= last; ++i) {
        const std::string k = std::to_string(i - first + 1), n = std::to_string(i);
        text += "[Sound" + k + "]\r\nSoundIndex=" + n + "\r\nCommand=s" + n + "\r\nFilename=s" + n +
                ".mp3\r\nMessage=m\r\n";
    }
    return WritePack(name, text);
}

using PackSoakTest = CleanRegistryTest;

TEST_F(PackSoakTest, FiveRoundsOfA999SoundPack) {
    const std::string full = NumberedPack("soak-full.ini", 1, 999);
    auto round = [&] {
        ClearSoundTable();
        ASSERT_EQ(kPackDone, InstallSoundpack(full.c_str()));
        ASSERT_EQ(999, soundTable.count);
        ASSERT_EQ(999u, SoundKeys().size());
        ASSERT_EQ(kPackDone, UninstallSoundpack(full.c_str()));
        ASSERT_EQ(0, soundTable.count);
        ASSERT_TRUE(SoundKeys().empty());
    };
    UiDriver driver;
    CountedWindow window;
    round();
    const ResourceCounts start = CurrentResourceCounts();
    for (int i = 0; i < 5; ++i)
        round();
    ExpectFlat(start, "5 rounds of a 999-sound pack");
    EXPECT_TRUE(driver.seen.empty());
    EXPECT_EQ("", errorReport);
}

} // namespace
