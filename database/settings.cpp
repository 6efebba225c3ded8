#include "database/settings.h"

#include "database/registry_key.h"

#include <string>

bool soundsEnabled = true;
bool toastsEnabled = true;

namespace {
// On when the value's first byte is 1, whatever its type and length.
bool ReadFlag(HKEY key, const char* name) {
    std::string bytes;
    return ReadRegistryValue(key, name, bytes) && !bytes.empty() && bytes[0] == 1;
}
} // namespace

void LoadSettings() {
    RegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, SONABELL_SETTINGS_KEY_READ, KEY_QUERY_VALUE)) {
        soundsEnabled = false;
        toastsEnabled = false;
        return;
    }
    soundsEnabled = ReadFlag(key.get(), "SoundsEnabled");
    toastsEnabled = ReadFlag(key.get(), "ToastsEnabled");
}

void StoreSetting(const char* valueName, bool on) {
    // HKEY_CURRENT_USER is always the user's own to write: the key is made
    // here when missing, or no account but the installing one could ever keep
    // a choice past the current run.
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SONABELL_SETTINGS_KEY, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.out(),
                        nullptr) != ERROR_SUCCESS)
        return;
    const BYTE data = on ? 1 : 0;
    RegSetValueExA(key.get(), valueName, 0, REG_BINARY, &data, 1);
}
