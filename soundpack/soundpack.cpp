#include "soundpack/soundpack.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "soundpack/pack_reader.h"

#include <windows.h>

#include <set>
#include <string>

const char kPackUnreadableText[] =
    "Could not open the specified install.ini file. Please check that the file exists, and that "
    "you have the relevant permissions to open it";
const char kPackNoSoundsText[] =
    "Could not determine the number of sounds to add. Either the install.ini file adds 0 sounds, "
    "or the file is in some way corrupt. Please try downloading the soundpack again, and if the "
    "problem persists, please contact the maker of the soundpack for help.";

namespace {

// What install and uninstall do before their first section: the log line,
// then the shared opening. False, with the result the operation returns,
// when there is no section to walk.
bool StartPack(const char* path, PackFile* pack, int* result) {
    AppendErrorLog();
    return OpenPack(path, pack, result);
}

// A value into the record field; absent when it is missing or empty.
void SetPresentText(char** field, const std::string& value) {
    if (!value.empty())
        SetRecordText(field, value.c_str());
}

// Reads one section into the record and writes it. True when installed;
// otherwise *code is the write's result, or 0 for an incomplete section.
bool InstallSection(const PackFile& pack, int k, SoundRecord* record, PackEntry* entry, int* code) {
    ReadPackEntry(pack, k, entry);
    SetPresentText(&record->indexText, entry->index);
    SetPresentText(&record->command, entry->command);
    SetPresentText(&record->filename, entry->filename);
    SetPresentText(&record->message, entry->message);
    const bool complete = MissingPackKeys(*entry).empty();
    *code = complete ? WriteSound(record) : 0;
    return complete && *code == kStoreDone;
}

} // namespace

int InstallSoundpack(const char* path) {
    PackFile pack;
    int result = kPackDone;
    if (!StartPack(path, &pack, &result))
        return result;

    for (int k = 1; k <= pack.total; ++k) {
        const int slot = FindFreeSlot();
        if (slot == kNoFreeSlot) {
            AppendErrorReport("Error: The sound database is full (999 sounds); the rest of the "
                              "soundpack was not installed.\r\n");
            return kPackDone;
        }
        SoundRecord* record = CreateSoundRecord(true);
        if (!record) {
            AppendErrorReport("Error: Out of memory; the rest of the soundpack was not "
                              "installed.\r\n");
            return kPackDone;
        }
        soundTable.slots[slot] = record;

        PackEntry entry;
        int code = 0;
        if (InstallSection(pack, k, record, &entry, &code))
            continue; // the record stays in its slot

        // A section without an index is named by the section itself.
        const std::string name = entry.index.empty() ? entry.section : entry.index;
        // Out of the table before any message box: its loop may deliver a
        // reload, which would free the record under us.
        soundTable.slots[slot] = nullptr;
        DestroySoundRecord(record);
        if (code == kStoreRefused && LastWriteWasDenied()) {
            // Every other sound would be refused the same way: one message,
            // not one box per sound.
            AppendErrorReport((std::string("Error: ") + kReadOnlyDatabaseText + "\r\n").c_str());
            return kPackDone;
        }
        if (code == kStoreExists) {
            AppendErrorReport(("Error: Sound number " + name +
                               " already exists in database, will not redefine.\r\n")
                                  .c_str());
        } else {
            AppendErrorReport(
                ("Error: An unspecified error occurred while processing Sound number " + name +
                 ".\r\n")
                    .c_str());
            ShowNumberBox(code, "Unspecified Error Code\n\n");
        }
    }
    return kPackDone;
}

int UninstallSoundpack(const char* path) {
    PackFile pack;
    int result = kPackDone;
    if (!StartPack(path, &pack, &result))
        return result;

    // The table must answer each lookup as the registry now stands. A full
    // reload after every delete does that, but costs a pass over up to 999
    // sub-keys each time (minutes for a large pack). So: one reload after the
    // first delete brings the table in line with the registry, then the
    // sub-keys this loop deletes are remembered and count as gone, and one
    // reload at the end leaves the table exactly as per-delete reloads would.
    bool reloaded = false;
    bool changedSinceReload = false;
    std::set<std::string> deletedNames;
    for (int k = pack.total; k >= 1; --k) {
        char section[11];
        wsprintfA(section, "Sound%d", k);
        const std::string index = ReadPackValue(pack, section, "SoundIndex");
        if (index.empty())
            continue;
        const int slot = FindSound(index.c_str(), kFieldIndexText);
        if (slot == kNotFound || deletedNames.count(index))
            continue;
        // The number the entry was written under, read the way the store reads it.
        const long number = IndexTextValue(TextOrEmpty(soundTable.slots[slot]->indexText));
        const int deleted = DeleteSoundNumber(static_cast<int>(number));
        if (deleted == kStoreRefused) {
            AppendErrorReport((std::string("Error: ") + kReadOnlyDatabaseText + "\r\n").c_str());
            break;
        }
        if (deleted == kStoreDone && reloaded) {
            deletedNames.insert(std::to_string(number));
            changedSinceReload = true;
        }
        if (!reloaded) {
            ClearSoundTable();
            LoadSounds();
            reloaded = true;
        }
    }
    if (changedSinceReload) {
        ClearSoundTable();
        LoadSounds();
    }
    return kPackDone;
}
