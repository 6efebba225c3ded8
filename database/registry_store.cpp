#include "database/registry_store.h"

#include "database/registry_key.h"

#include <shlwapi.h>

#include <climits>
#include <cstring>
#include <string>

bool ReadRegistryValue(HKEY key, const char* name, std::string& bytes) {
    bytes.clear();
    // Most values are short: one call into a stack buffer reads them. Every
    // registry call is a server round trip under Wine, and a load makes three
    // reads per sound.
    char small[1024];
    DWORD size = sizeof small;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size);
    if (rc == ERROR_SUCCESS) {
        bytes.assign(small, size);
        return true;
    }
    if (rc != ERROR_MORE_DATA)
        return false;
    // The size can change between calls when another program writes the
    // value; retry with the new size rather than read a torn value.
    for (int attempt = 0; attempt < 4; ++attempt) {
        size = 0;
        if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return false;
        bytes.resize(size);
        DWORD got = size;
        rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()),
                              &got);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS) {
            bytes.clear();
            return false;
        }
        bytes.resize(got);
        return true;
    }
    bytes.clear();
    return false;
}

namespace {

bool lastWriteDenied = false;

// Opens a key with full access, as the store always has; where this account
// may only read it (the setup was not run as an administrator, or an
// administrator took the rights away), read access still lets the sounds
// load and play. *access is the right that was granted.
bool OpenForReading(RegistryKey& key, HKEY parent, const char* path, REGSAM* access) {
    if (*access == KEY_ALL_ACCESS) {
        LONG rc = RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, key.out());
        if (rc == ERROR_SUCCESS)
            return true;
        if (rc != ERROR_ACCESS_DENIED)
            return false;
        *access = KEY_READ;
    }
    return key.Open(parent, path, KEY_READ);
}

// A value's text: its bytes up to the first zero byte, or all of them when
// the data has none (a value written without its terminator).
std::string ValueText(HKEY key, const char* name) {
    std::string bytes;
    if (!ReadRegistryValue(key, name, bytes))
        return std::string();
    size_t end = bytes.find('\0');
    if (end != std::string::npos)
        bytes.resize(end);
    return bytes;
}

bool SetText(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

// What a delete that was refused full access reports: a missing database or
// sound as before, and only an existing sound as the refusal it is.
int DeniedDelete(const char* name) {
    RegistryKey sounds;
    if (!sounds.Open(HKEY_LOCAL_MACHINE, SONABELL_SOUNDS_KEY, KEY_READ))
        return kStoreNoDatabase;
    RegistryKey sound;
    if (!sound.Open(sounds.get(), name, KEY_READ))
        return kStoreNoSound;
    lastWriteDenied = true;
    return kStoreRefused;
}

int DeleteSubKey(const char* name) {
    lastWriteDenied = false;
    RegistryKey sounds;
    LONG rc =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, SONABELL_SOUNDS_KEY, 0, KEY_ALL_ACCESS, sounds.out());
    if (rc == ERROR_ACCESS_DENIED)
        return DeniedDelete(name);
    if (rc != ERROR_SUCCESS)
        return kStoreNoDatabase;
    RegistryKey sound;
    rc = RegOpenKeyExA(sounds.get(), name, 0, KEY_ALL_ACCESS, sound.out());
    if (rc == ERROR_ACCESS_DENIED)
        return DeniedDelete(name);
    if (rc != ERROR_SUCCESS)
        return kStoreNoSound;
    SHDeleteKeyA(sounds.get(), name);
    RegDeleteKeyA(sounds.get(), name);
    return kStoreDone;
}

} // namespace

long IndexTextValue(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        int digit = *p - '0';
        if (value > (LONG_MAX - digit) / 10) {
            value = LONG_MAX;
            while (*p >= '0' && *p <= '9')
                ++p;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

bool LastWriteWasDenied() {
    return lastWriteDenied;
}

int LoadSounds() {
    RegistryKey sounds;
    REGSAM access = KEY_ALL_ACCESS;
    if (!OpenForReading(sounds, HKEY_LOCAL_MACHINE, SONABELL_SOUNDS_KEY_READ, &access))
        return 0;
    DWORD subKeys = 0;
    RegQueryInfoKeyA(sounds.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    for (DWORD i = 0; i < subKeys; ++i) {
        // Key names are at most 255 characters: read them whole.
        char name[256] = "";
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(sounds.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue; // the key changed under us; this position has no name
        if (FindSound(name, kFieldIndexText) != kNotFound)
            continue;
        int slot = FindFreeSlot();
        if (slot == kNoFreeSlot)
            break; // the table is full; the rest stays in the registry only
        SoundRecord* record = CreateSoundRecord(true);
        if (!record)
            break;
        soundTable.slots[slot] = record;
        // A sound below a read-only Sounds key is read-only too: no second
        // round trip to be refused again.
        RegistryKey sound;
        REGSAM soundAccess = access;
        OpenForReading(sound, sounds.get(), name, &soundAccess);
        SetRecordText(&record->indexText, name);
        // An unreadable sub-key still loads, with empty texts.
        SetRecordText(&record->command, sound ? ValueText(sound.get(), "Command").c_str() : "");
        SetRecordText(&record->filename, sound ? ValueText(sound.get(), "Filename").c_str() : "");
        SetRecordText(&record->message, sound ? ValueText(sound.get(), "Message").c_str() : "");
    }
    return 1;
}

int WriteSound(const SoundRecord* record) {
    lastWriteDenied = false;
    const char* indexText = TextOrEmpty(record->indexText);
    if (IndexTextValue(indexText) == 0)
        return kStoreInvalidIndex;
    std::string path = SONABELL_SOUNDS_KEY;
    path += indexText;
    // The Sounds key (made with the keys above it when missing) is asked for
    // the right to add a sound: that is where an account that may only read
    // the database is stopped.
    const std::string soundsPath(SONABELL_SOUNDS_KEY,
                                 sizeof SONABELL_SOUNDS_KEY - 2); // no final "\\"
    RegistryKey sounds;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, soundsPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_CREATE_SUB_KEY, nullptr, sounds.out(), nullptr);
    RegistryKey sound;
    DWORD disposition = 0;
    if (rc == ERROR_SUCCESS)
        rc = RegCreateKeyExA(sounds.get(), indexText, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, sound.out(), &disposition);
    if (rc != ERROR_SUCCESS) {
        lastWriteDenied = rc == ERROR_ACCESS_DENIED;
        return kStoreRefused;
    }
    if (disposition == REG_OPENED_EXISTING_KEY)
        return kStoreExists;
    if (!SetText(sound.get(), "Command", TextOrEmpty(record->command)) ||
        !SetText(sound.get(), "Filename", TextOrEmpty(record->filename)) ||
        !SetText(sound.get(), "Message", TextOrEmpty(record->message))) {
        // Leave no half-written sound behind.
        sound.Close();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        return kStoreRefused;
    }
    return kStoreDone;
}

int ProbeSoundWrite(const char* indexText, bool* denied) {
    *denied = false;
    if (IndexTextValue(indexText) == 0)
        return kStoreInvalidIndex;
    // The registry takes key names of up to 255 characters.
    if (std::strlen(indexText) > 255)
        return kStoreRefused;
    const std::string soundsPath(SONABELL_SOUNDS_KEY, sizeof SONABELL_SOUNDS_KEY - 2);
    RegistryKey sounds;
    LONG rc =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, soundsPath.c_str(), 0, KEY_CREATE_SUB_KEY, sounds.out());
    if (rc == ERROR_ACCESS_DENIED) {
        *denied = true;
        return kStoreRefused;
    }
    // No Sounds key yet: the write would make it, and no sound can exist.
    if (rc != ERROR_SUCCESS)
        return kStoreDone;
    RegistryKey sound;
    rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(SONABELL_SOUNDS_KEY) + indexText).c_str(),
                       0, KEY_QUERY_VALUE, sound.out());
    if (rc == ERROR_FILE_NOT_FOUND)
        return kStoreDone;
    // A key this account may not read is still a key the write would find.
    return rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED ? kStoreExists : kStoreRefused;
}

int DeleteSound(const SoundRecord* record) {
    return DeleteSubKey(TextOrEmpty(record->indexText));
}

int DeleteSoundNumber(int number) {
    if (number < 0 || number > 999)
        return kStoreInvalidIndex;
    char name[8];
    wsprintfA(name, "%d", number);
    return DeleteSubKey(name);
}

int AddSound(const char* indexText, const char* command, const char* soundPath,
             const char* message) {
    size_t indexLength = std::strlen(indexText);
    if (indexLength == 0 || indexLength > 3)
        return kStoreInvalidIndex;
    SoundRecord* record = CreateSoundRecord(false);
    if (!record)
        return kStoreRefused;
    SetRecordText(&record->indexText, indexText);
    SetRecordText(&record->command, command);
    SetRecordText(&record->message, message);
    // The file name keeps its separator: "C:\Sounds\boom.mp3" gives
    // "\boom.mp3", which the player appends to a directory ending in "\".
    const char* cut = std::strrchr(soundPath, '\\');
    const char* slash = std::strrchr(soundPath, '/');
    if (!cut || (slash && slash > cut))
        cut = slash;
    SetRecordText(&record->filename, cut ? cut : soundPath);
    int result = WriteSound(record);
    DestroySoundRecord(record);
    return result;
}
