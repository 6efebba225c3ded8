#include "soundpack/soundpack.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr int kValueSize = 2048;

// The profile functions look for a bare file name in the Windows directory,
// the open test in the current one: name the file by its full path so both
// mean the same file.
std::string FullPath(const char* path) {
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
    if (length == 0)
        return path;
    if (length < sizeof buffer)
        return std::string(buffer, length);
    std::string full(length, '\0');
    length = GetFullPathNameA(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    full.resize(length);
    return full;
}

bool CanOpen(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

// TotalSounds, or what the operation must return at once: -1 for a count
// that is missing, zero or too large to name a section, 0 for a negative one.
bool ReadTotal(const std::string& path, int* total, int* result) {
    *total = static_cast<int>(GetPrivateProfileIntA("Header", "TotalSounds", 0, path.c_str()));
    if (*total == 0 || *total > kPackMaxSounds) {
        *result = kPackNoSounds;
        return false;
    }
    if (*total < 0) {
        *result = kPackDone;
        return false;
    }
    return true;
}

// What install and uninstall do before their first section: the log line,
// the full path, the open test and TotalSounds. False, with the result the
// operation returns, when there is no section to walk.
bool StartPack(const char* path, std::string* file, int* total, int* result) {
    AppendErrorLog();
    *file = FullPath(path);
    if (!CanOpen(*file)) {
        *result = kPackUnreadable;
        return false;
    }
    return ReadTotal(*file, total, result);
}

// A value into the record field; false when it is missing or empty.
bool ReadText(const std::string& path, const char* section, const char* key, char** field) {
    char value[kValueSize] = "";
    GetPrivateProfileStringA(section, key, "", value, sizeof value, path.c_str());
    if (value[0] == '\0')
        return false;
    SetRecordText(field, value);
    return true;
}

// Reads one section into the record and writes it. True when installed;
// otherwise *code is the write's result, or 0 for an incomplete section.
bool InstallSection(const std::string& path, const char* section, SoundRecord* record, int* code) {
    bool complete = ReadText(path, section, "SoundIndex", &record->indexText);
    complete = ReadText(path, section, "Command", &record->command) && complete;
    complete = ReadText(path, section, "Filename", &record->filename) && complete;
    complete = ReadText(path, section, "Message", &record->message) && complete;
    *code = complete ? WriteSound(record) : 0;
    return complete && *code == kStoreDone;
}

} // namespace

int InstallSoundpack(const char* path) {
    std::string file;
    int total = 0;
    int result = kPackDone;
    if (!StartPack(path, &file, &total, &result))
        return result;

    for (int k = 1; k <= total; ++k) {
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

        char section[11];
        wsprintfA(section, "Sound%d", k);
        int code = 0;
        if (InstallSection(file, section, record, &code))
            continue; // the record stays in its slot

        // A section without an index is named by the section itself.
        const std::string name = record->indexText ? record->indexText : section;
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
    std::string file;
    int total = 0;
    int result = kPackDone;
    if (!StartPack(path, &file, &total, &result))
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
    for (int k = total; k >= 1; --k) {
        char section[11];
        wsprintfA(section, "Sound%d", k);
        char index[kValueSize] = "";
        GetPrivateProfileStringA(section, "SoundIndex", "", index, sizeof index, file.c_str());
        if (index[0] == '\0')
            continue;
        const int slot = FindSound(index, kFieldIndexText);
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
