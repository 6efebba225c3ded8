// Owns one open registry key for the length of an operation, so no early
// return can leak it.
#ifndef SONABELL_DATABASE_REGISTRY_KEY_H
#define SONABELL_DATABASE_REGISTRY_KEY_H

#include <windows.h>

#include <string>

class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    bool Open(HKEY parent, const char* path, REGSAM access) {
        Close();
        return RegOpenKeyExA(parent, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    void Close() {
        if (key_) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }
    HKEY get() const { return key_; }
    HKEY* out() {
        Close();
        return &key_;
    }
    explicit operator bool() const { return key_ != nullptr; }

  private:
    HKEY key_ = nullptr;
};

// Reads a value whole, whatever its type and length. The bytes are returned
// as they are; an unreadable or missing value gives false.
bool ReadRegistryValue(HKEY key, const char* name, std::string& bytes);

#endif
