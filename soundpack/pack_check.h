// Checks a soundpack the way Install would take it, without installing it:
// one row per section, a verdict and its reason. Writes nothing.
#ifndef SONABELL_SOUNDPACK_PACK_CHECK_H
#define SONABELL_SOUNDPACK_PACK_CHECK_H

#include <string>
#include <vector>

enum PackVerdict {
    kVerdictInstall, // would install, nothing to tell
    kVerdictSkip,    // Install would not add it; detail says why
    kVerdictWarn     // would install, but users would meet what detail says
};

struct PackCheckRow {
    int section; // k of "Sound" + k, 1..total
    int total;
    std::string index; // the section's name when it has no index
    std::string command;
    std::string filename;
    PackVerdict verdict;
    std::string detail;
    long lengthMs; // the file's length as the engine tells it; -1 unless it opened
};

struct PackCheckTally {
    int install; // with warnings or without
    int skipped;
    int warned;
};

// What a pack is compared with, copied on the caller's thread so that the
// check itself may run on another while the table stays the caller's.
struct PackCheckWorld {
    std::string soundFolder;          // ends in a separator
    std::vector<std::string> indexes; // the user's sounds, in table order
    std::vector<std::string> commands;
};

// The plug-in's own sound folder and the sounds of the table.
PackCheckWorld CurrentPackCheckWorld();

// Gets each row as soon as it is judged; false stops the check.
using PackRowSink = bool (*)(const PackCheckRow& row, void* context);

// kPackDone once the sections are judged (or the sink stopped it, or *stop
// became non-zero, which another thread may set); kPackUnreadable or
// kPackNoSounds, and no rows, when Install would refuse the pack whole.
int CheckSoundpack(const char* path, const PackCheckWorld& world, PackRowSink sink, void* context,
                   const volatile long* stop = nullptr);

// Install's message for a pack it refuses whole.
const char* PackRefusalText(int result);
// "index<TAB>command<TAB>file<TAB>verdict<TAB>detail<TAB>seconds".
std::string PackCheckRowText(const PackCheckRow& row);
// A length in seconds to the hundredth ("2.35"); empty for a negative one.
std::string PackLengthText(long lengthMs);
const char* PackVerdictText(PackVerdict verdict);
void TallyPackRow(PackCheckTally* tally, const PackCheckRow& row);
std::string PackCheckSummaryText(const PackCheckTally& tally);

#endif
