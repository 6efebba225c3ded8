#include "soundpack/pack_check.h"

#include "audio/engine_controls.h"
#include "audio/fsound.h"
#include "audio/player.h"
#include "database/registry_store.h"
#include "database/sound_table.h"
#include "host/host_contract.h"
#include "host/sound_line.h"
#include "soundpack/diagnostics.h"
#include "soundpack/pack_reader.h"
#include "soundpack/soundpack.h"

#include <windows.h>

#include <functional>
#include <unordered_map>

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}
bool EqualNoCaseAnsi(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

void AddWarning(std::string* detail, const std::string& warning) {
    if (!detail->empty())
        *detail += "; ";
    *detail += warning;
}

// A text in lower case as the code page folds it: the key under which texts
// that may compare equal without regard to case meet. Equality itself is
// still decided as the plug-in decides it, by lstrcmpiA.
std::string Folded(const std::string& text) {
    std::string folded = text;
    if (!folded.empty())
        CharLowerBuffA(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

// The first position in the bucket of text's folded form whose text equals
// it and which is not `self`; -1 when there is none.
using Buckets = std::unordered_map<std::string, std::vector<int>>;
int FindEqual(const Buckets& buckets, const std::string& text,
              const std::function<const std::string&(int)>& textAt, int self) {
    const auto bucket = buckets.find(Folded(text));
    if (bucket == buckets.end())
        return -1;
    for (int position : bucket->second) {
        if (position != self && SameNoCase(textAt(position), text))
            return position;
    }
    return -1;
}

struct Judge {
    const PackCheckWorld& world;
    const std::vector<PackEntry>& entries;
    int installed = 0;          // sections that would install so far
    Buckets installedIndexes;   // their indexes
    Buckets completeCommands;   // the commands of every complete section
    Buckets worldCommands;      // the commands of the user's sounds
    std::vector<bool> complete; // per section: all four keys have a value
    std::string stopped;        // why Install would stop before the rest
};

// Why Install would not add the entry; empty when it would.
std::string SkipReason(Judge& judge, size_t position) {
    const PackEntry& entry = judge.entries[position];
    if (!judge.stopped.empty())
        return judge.stopped;
    const size_t held = judge.world.indexes.size() + static_cast<size_t>(judge.installed);
    if (held >= static_cast<size_t>(kTableCapacity)) {
        judge.stopped = "the database would be full (999 sounds)";
        return judge.stopped;
    }
    if (!judge.complete[position])
        return "missing or empty key: " + MissingPackKeys(entry);
    bool denied = false;
    const int probe = ProbeSoundWrite(entry.index.c_str(), &denied);
    if (denied) {
        judge.stopped = kReadOnlyDatabaseText;
        return judge.stopped;
    }
    if (probe == kStoreExists)
        return "already exists in database, will not redefine";
    if (probe != kStoreDone)
        return "the database refuses this index (code " + std::to_string(probe) + ")";
    // The registry names sounds without regard to letter case.
    const int earlier = FindEqual(
        judge.installedIndexes, entry.index,
        [&](int at) -> const std::string& { return judge.entries[at].index; }, -1);
    if (earlier >= 0)
        return std::string("index already used by ") + judge.entries[earlier].section +
               " of this pack: already exists in database, will not redefine";
    return std::string();
}

void FileWarnings(const PackCheckWorld& world, const PackEntry& entry, std::string* detail,
                  long* lengthMs) {
    const std::string path = world.soundFolder + entry.filename;
    if (!SoundFileExists(path)) {
        AddWarning(detail, "file not in the sound folder: users would get the missing-file line");
        return;
    }
    // Opened through the engine, never played: whatever it can play passes.
    FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
    if (!stream) {
        AddWarning(detail,
                   "the engine cannot open the file: users would get the opening-error line");
        return;
    }
    *lengthMs = SbEngineStreamLengthMs(stream);
    FSOUND_Stream_Close(stream);
}

void CommandWarnings(const Judge& judge, size_t position, std::string* detail) {
    const PackEntry& entry = judge.entries[position];
    const int keyword = MatchKeyword(entry.command.c_str(), EqualNoCaseAnsi);
    if (keyword >= 0)
        AddWarning(detail, std::string("command is the sub-command keyword \"") +
                               kKeywords[keyword] + "\": it can never be sent");
    if (entry.command.find(' ') != std::string::npos)
        AddWarning(detail, "command contains a space: it can never be sent");
    const int other = FindEqual(
        judge.completeCommands, entry.command,
        [&](int at) -> const std::string& { return judge.entries[at].command; },
        static_cast<int>(position));
    if (other >= 0)
        AddWarning(detail, std::string("command also used by ") + judge.entries[other].section +
                               " of this pack");
    const int sound = FindEqual(
        judge.worldCommands, entry.command,
        [&](int at) -> const std::string& { return judge.world.commands[at]; }, -1);
    if (sound >= 0)
        AddWarning(detail,
                   "command also used by sound " + judge.world.indexes[sound] + " of the database");
    // Index and message are at most 2047 characters each.
    char line[4 + 2 * 2048 + 1];
    const size_t length =
        WriteSoundLine(line, sizeof line, entry.index.c_str(), entry.message.c_str());
    if (length >= kResultCapacity)
        AddWarning(detail, "the sound line with its message is " + std::to_string(length) +
                               " bytes: cut to " + std::to_string(kResultCapacity - 1));
}

PackCheckRow JudgeEntry(Judge& judge, size_t position) {
    const PackEntry& entry = judge.entries[position];
    PackCheckRow row;
    row.section = static_cast<int>(position) + 1;
    row.total = static_cast<int>(judge.entries.size());
    row.index = entry.index.empty() ? entry.section : entry.index;
    row.command = entry.command;
    row.filename = entry.filename;
    row.lengthMs = -1;
    row.detail = SkipReason(judge, position);
    if (!row.detail.empty()) {
        row.verdict = kVerdictSkip;
        return row;
    }
    ++judge.installed;
    judge.installedIndexes[Folded(entry.index)].push_back(static_cast<int>(position));
    CommandWarnings(judge, position, &row.detail);
    FileWarnings(judge.world, entry, &row.detail, &row.lengthMs);
    row.verdict = row.detail.empty() ? kVerdictInstall : kVerdictWarn;
    return row;
}

} // namespace

PackCheckWorld CurrentPackCheckWorld() {
    PackCheckWorld world;
    world.soundFolder = SoundFolder();
    for (int slot = 0; slot < kTableCapacity; ++slot) {
        const SoundRecord* record = soundTable.slots[slot];
        if (!record)
            continue;
        world.indexes.push_back(TextOrEmpty(record->indexText));
        world.commands.push_back(TextOrEmpty(record->command));
    }
    return world;
}

int CheckSoundpack(const char* path, const PackCheckWorld& world, PackRowSink sink, void* context,
                   const volatile long* stop) {
    PackFile pack;
    int result = kPackDone;
    if (!OpenPack(path, &pack, &result))
        return pack.total < 0 ? kPackNoSounds : result;
    // Every section first: a command shared with a later section is a warning too.
    std::vector<PackEntry> entries(static_cast<size_t>(pack.total));
    for (int k = 1; k <= pack.total; ++k) {
        if (stop && *stop)
            return kPackDone;
        ReadPackEntry(pack, k, &entries[static_cast<size_t>(k) - 1]);
    }
    Judge judge{world, entries};
    for (size_t i = 0; i < entries.size(); ++i) {
        judge.complete.push_back(MissingPackKeys(entries[i]).empty());
        if (judge.complete.back())
            judge.completeCommands[Folded(entries[i].command)].push_back(static_cast<int>(i));
    }
    for (size_t i = 0; i < world.commands.size(); ++i)
        judge.worldCommands[Folded(world.commands[i])].push_back(static_cast<int>(i));
    for (size_t position = 0; position < entries.size(); ++position) {
        if (!sink(JudgeEntry(judge, position), context))
            break;
    }
    return kPackDone;
}

const char* PackRefusalText(int result) {
    return result == kPackUnreadable ? kPackUnreadableText : kPackNoSoundsText;
}

const char* PackVerdictText(PackVerdict verdict) {
    switch (verdict) {
    case kVerdictInstall:
        return "would install";
    case kVerdictSkip:
        return "would be skipped";
    case kVerdictWarn:
        return "warning";
    }
    return "";
}

std::string PackCheckRowText(const PackCheckRow& row) {
    return row.index + '\t' + row.command + '\t' + row.filename + '\t' +
           PackVerdictText(row.verdict) + '\t' + row.detail + '\t' + PackLengthText(row.lengthMs);
}

std::string PackLengthText(long lengthMs) {
    if (lengthMs < 0)
        return std::string();
    const long hundredths = (lengthMs + 5) / 10;
    const long fraction = hundredths % 100;
    return std::to_string(hundredths / 100) + (fraction < 10 ? ".0" : ".") +
           std::to_string(fraction);
}

void TallyPackRow(PackCheckTally* tally, const PackCheckRow& row) {
    if (row.verdict == kVerdictSkip) {
        ++tally->skipped;
        return;
    }
    ++tally->install;
    if (row.verdict == kVerdictWarn)
        ++tally->warned;
}

std::string PackCheckSummaryText(const PackCheckTally& tally) {
    return std::to_string(tally.install) + " would install, " + std::to_string(tally.skipped) +
           " would be skipped, " + std::to_string(tally.warned) + " with warnings.";
}
