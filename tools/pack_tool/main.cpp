// sonabell-pack: the soundpack tools for makers who build packs in scripts.
//   sonabell-pack check PACK.ini [SOUND-FOLDER]
//   sonabell-pack save PACK.ini
// A 32-bit program like the plug-in, so it reads the registry view the
// plug-in uses.
#include "database/registry_store.h"
#include "database/sound_table.h"
#include "audio/player.h"
#include "soundpack/pack_check.h"
#include "soundpack/pack_save.h"
#include "soundpack/soundpack.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum ExitCode {
    kExitClean = 0,
    kExitFindings = 1, // a check found skips or warnings; a save left something out
    kExitRefused = 2,  // the pack is refused whole, or nothing could be saved
    kExitUsage = 64,
};

int Usage() {
    std::fputs("usage: sonabell-pack check PACK.ini [SOUND-FOLDER]\n"
               "       sonabell-pack save PACK.ini\n",
               stderr);
    return kExitUsage;
}

// The folder a path names a file in, ending in a separator.
std::string FolderOf(const char* path) {
    char full[MAX_PATH];
    char* name = nullptr;
    DWORD length = GetFullPathNameA(path, sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || !name)
        return std::string();
    return std::string(full, static_cast<size_t>(name - full));
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder;
}

bool PrintRow(const PackCheckRow& row, void* context) {
    TallyPackRow(static_cast<PackCheckTally*>(context), row);
    std::printf("%s\n", PackCheckRowText(row).c_str());
    return true;
}

int Check(const char* pack, const char* soundFolder) {
    LoadSounds();
    PackCheckWorld world = CurrentPackCheckWorld();
    world.soundFolder = WithSeparator(soundFolder ? soundFolder : FolderOf(pack));
    PackCheckTally tally = {};
    const int result = CheckSoundpack(pack, world, PrintRow, &tally);
    if (result != kPackDone) {
        std::printf("%s\n", PackRefusalText(result));
        return kExitRefused;
    }
    std::printf("%s\n", PackCheckSummaryText(tally).c_str());
    return tally.skipped == 0 && tally.warned == 0 ? kExitClean : kExitFindings;
}

// The database as the plug-in holds it, files from the plug-in's sound folder.
int Save(const char* pack) {
    LoadSounds();
    PackSaveOutcome outcome;
    if (!SaveSoundpack(pack, SoundFolder(), &outcome)) {
        std::printf("Could not write %s.\n", pack);
        return kExitRefused;
    }
    std::printf("%s\n", PackSaveOutcomeText(outcome, pack).c_str());
    return outcome.problems.empty() ? kExitClean : kExitFindings;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 4 && std::strcmp(argv[1], "check") == 0)
        return Check(argv[2], argc == 4 ? argv[3] : nullptr);
    if (argc == 3 && std::strcmp(argv[1], "save") == 0)
        return Save(argv[2]);
    return Usage();
}
