#include "database/settings.h"

#include "database/registry_key.h"

#include <string>

bool soundsEnabled = true;
bool toastsEnabled = true;
int playbackVolume = kFullVolume;
bool letSoundsFinish = false;
int soundsPerMinute = 0;
bool evenLoudness = false;

namespace {
// On when the value's first byte is 1, whatever its type and length.
bool ReadFlag(HKEY key, const char* name) {
    std::string bytes;
    return ReadRegistryValue(key, name, bytes) && !bytes.empty() && bytes[0] == 1;
}

// The value's first byte, like the flags; fallback when it is missing,
// unreadable or empty.
int ReadByte(HKEY key, const char* name, int fallback) {
    std::string bytes;
    if (!ReadRegistryValue(key, name, bytes) || bytes.empty())
        return fallback;
    return static_cast<unsigned char>(bytes[0]);
}

void LoadListenerControls(HKEY key) {
    const int volume = ReadByte(key, "Volume", kFullVolume);
    playbackVolume = volume > kFullVolume ? kFullVolume : volume;
    letSoundsFinish = ReadFlag(key, "LetFinish");
    soundsPerMinute = ReadByte(key, "SoundsPerMinute", 0);
    evenLoudness = ReadFlag(key, "EvenLoudness");
}
} // namespace

void LoadSettings() {
    RegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, SONABELL_SETTINGS_KEY_READ, KEY_QUERY_VALUE)) {
        soundsEnabled = false;
        toastsEnabled = false;
        playbackVolume = kFullVolume;
        letSoundsFinish = false;
        soundsPerMinute = 0;
        evenLoudness = false;
        return;
    }
    soundsEnabled = ReadFlag(key.get(), "SoundsEnabled");
    toastsEnabled = ReadFlag(key.get(), "ToastsEnabled");
    LoadListenerControls(key.get());
}

void StoreSetting(const char* valueName, bool on) {
    StoreSettingByte(valueName, on ? 1 : 0);
}

void StoreSettingByte(const char* valueName, unsigned char value) {
    // HKEY_CURRENT_USER is always the user's own to write: the key is made
    // here when missing, or no account but the installing one could ever keep
    // a choice past the current run.
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SONABELL_SETTINGS_KEY, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.out(),
                        nullptr) != ERROR_SUCCESS)
        return;
    const BYTE data = value;
    RegSetValueExA(key.get(), valueName, 0, REG_BINARY, &data, 1);
}
