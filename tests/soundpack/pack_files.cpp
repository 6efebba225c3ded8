#include "pack_files.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace testing_support {

std::string PackText(const char* total, const std::vector<PackSound>& sounds) {
    std::string text = "[Header]\r\n";
    if (total)
        text += std::string("TotalSounds=") + total + "\r\n";
    int k = 1;
    for (const PackSound& sound : sounds) {
        text += "\r\n[Sound" + std::to_string(k++) + "]\r\n";
        const char* keys[] = {"SoundIndex", "Command", "Filename", "Message"};
        const char* values[] = {sound.index, sound.command, sound.filename, sound.message};
        for (int i = 0; i < 4; ++i) {
            if (values[i])
                text += std::string(keys[i]) + "=" + values[i] + "\r\n";
        }
    }
    return text;
}

namespace {
std::string folder;
std::vector<std::string> written;

void RemovePacks() {
    for (const std::string& path : written)
        DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}
} // namespace

std::string PackFolder() {
    if (folder.empty()) {
        std::atexit(RemovePacks);
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        folder =
            std::string(temp) + "sonabell-packs-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder;
}

std::string WritePack(const std::string& name, const std::string& text) {
    std::string path = PackFolder() + name;
    written.push_back(path);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

} // namespace testing_support
