#include "sound_folder.h"

#include <cstdint>

#include "clean_state.h"

#include <fstream>

namespace testing_support {

SoundFolder::SoundFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    pluginDir_ = std::string(temp) + "sb-protocol-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(pluginDir_.c_str(), nullptr);
    CreateDirectoryA((pluginDir_ + "\\Sonabell").c_str(), nullptr);
}

namespace {
void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + "\\" + name);
            else
                DeleteFileA((dir + "\\" + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}
} // namespace

SoundFolder::~SoundFolder() {
    RemoveTree(pluginDir_);
}

void SoundFolder::AddFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(SoundPath(name), std::ios::binary) << bytes;
}

std::string SoundFolder::ShortWav() {
    const uint32_t rate = 44100;
    // A quiet buzz.
    return StereoWav(rate, rate / 10,
                     [](uint32_t i) { return static_cast<int16_t>((i % 100) * 40 - 2000); });
}

std::string SoundFolder::StereoWav(uint32_t rate, uint32_t frames,
                                   const std::function<int16_t(uint32_t)>& sample) {
    const uint32_t dataSize = frames * 4;
    std::string wav;
    auto put32 = [&](uint32_t v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    wav += "RIFF";
    put32(36 + dataSize);
    wav += "WAVEfmt ";
    put32(16);
    put16(1); // PCM
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    wav += "data";
    put32(dataSize);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto value = static_cast<uint16_t>(sample(i));
        put16(value);
        put16(value);
    }
    return wav;
}

void SoundFolder::RemoveFile(const std::string& name) const {
    DeleteFileA(SoundPath(name).c_str());
}

void SoundFolder::SetPluginDirValue(DWORD type, const std::string& bytes) const {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHostKey, 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    RegSetValueExA(key, "PluginDir", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void SoundFolder::PointHostHere() const {
    SetPluginDirValue(REG_SZ, pluginDir_ + std::string(1, '\0'));
}

std::string ModuleFolder(HMODULE module) {
    char name[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(module, name, sizeof name);
    std::string path(name, length);
    return path.substr(0, path.find_last_of("\\/"));
}

} // namespace testing_support
