#include "soundpack/pack_reader.h"

#include "soundpack/soundpack.h"

#include <windows.h>

#include <cstdio>

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

} // namespace

bool OpenPack(const char* path, PackFile* pack, int* result) {
    pack->path = FullPath(path);
    pack->total = 0;
    if (!CanOpen(pack->path)) {
        *result = kPackUnreadable;
        return false;
    }
    pack->total =
        static_cast<int>(GetPrivateProfileIntA("Header", "TotalSounds", 0, pack->path.c_str()));
    if (pack->total == 0 || pack->total > kPackMaxSounds) {
        *result = kPackNoSounds;
        return false;
    }
    if (pack->total < 0) {
        *result = kPackDone;
        return false;
    }
    return true;
}

std::string ReadPackValue(const PackFile& pack, const char* section, const char* key) {
    char value[kValueSize] = "";
    GetPrivateProfileStringA(section, key, "", value, sizeof value, pack.path.c_str());
    return value;
}

void ReadPackEntry(const PackFile& pack, int k, PackEntry* entry) {
    wsprintfA(entry->section, "Sound%d", k);
    entry->index = ReadPackValue(pack, entry->section, "SoundIndex");
    entry->command = ReadPackValue(pack, entry->section, "Command");
    entry->filename = ReadPackValue(pack, entry->section, "Filename");
    entry->message = ReadPackValue(pack, entry->section, "Message");
}

std::string MissingPackKeys(const PackEntry& entry) {
    const struct {
        const std::string* value;
        const char* key;
    } keys[] = {{&entry.index, "SoundIndex"},
                {&entry.command, "Command"},
                {&entry.filename, "Filename"},
                {&entry.message, "Message"}};
    std::string missing;
    for (const auto& key : keys) {
        if (!key.value->empty())
            continue;
        if (!missing.empty())
            missing += ", ";
        missing += key.key;
    }
    return missing;
}
