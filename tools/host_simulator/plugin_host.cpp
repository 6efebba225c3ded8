#include "plugin_host.h"

#include "host/host_contract.h"

#include <cstring>

namespace {
std::string SystemText(DWORD code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result + " (error " + std::to_string(code) + ")";
}

} // namespace

bool WritePluginDir(const std::string& directory, std::string& error) {
    HKEY key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrune\\MsgPlus2", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        error = "cannot write the host's registry key: " + SystemText(static_cast<DWORD>(rc));
        return false;
    }
    rc = RegSetValueExA(key, "PluginDir", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(directory.c_str()),
                        static_cast<DWORD>(directory.size() + 1));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        error = "cannot set PluginDir: " + SystemText(static_cast<DWORD>(rc));
        return false;
    }
    return true;
}

int LoadPlugin(const std::string& path, PluginHost& host, std::string& error) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        error = "no plug-in at " + path + ": " + SystemText(GetLastError());
        return kExitCannotLoad;
    }
    host.module = LoadLibraryA(path.c_str());
    if (!host.module) {
        error = "cannot load " + path + " as a DLL: " + SystemText(GetLastError());
        return kExitCannotLoad;
    }
    const std::string missing = entry_points::Resolve(host.module, host);
    if (!missing.empty()) {
        error = path + " is not a plug-in of this host: it lacks the entry points " + missing;
        FreeLibrary(host.module);
        host.module = nullptr;
        return kExitNotPlugin;
    }
    return kExitOk;
}

void ReadPublishedInfo(PluginHost& host) {
    std::vector<unsigned char> info(kCommandInfoAuxOffset +
                                    kCommandInfoMaxCommands * kCommandInfoAuxSize);
    char name[256] = "";
    int reserved = 0;
    host.PublishInfo(name, info.data(), &reserved);
    name[sizeof name - 1] = '\0';
    host.name = name;
    int count = 0;
    std::memcpy(&count, info.data(), sizeof count);
    host.commands.clear();
    for (int i = 0; i < count && i < static_cast<int>(kCommandInfoMaxCommands); ++i) {
        auto text = [&](size_t offset, size_t size) {
            const char* at = reinterpret_cast<const char*>(&info[offset]);
            return std::string(at, strnlen(at, size));
        };
        host.commands.push_back(
            {text(kCommandInfoCaptionOffset + i * kCommandInfoCaptionSize, kCommandInfoCaptionSize),
             text(kCommandInfoNameOffset + i * kCommandInfoNameSize, kCommandInfoNameSize)});
    }
}
