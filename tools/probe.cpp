// Loads Sonabell.dll the way the host does and prints what it publishes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "host/host_contract.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "Sonabell.dll";
    HMODULE dll = LoadLibraryA(path);
    if (!dll) {
        std::fprintf(stderr, "sonabell-probe: cannot load %s (error %lu)\n", path, GetLastError());
        return 2;
    }
    using PublishInfoFn = int(WINAPI*)(char*, unsigned char*, int*);
    auto publishInfo = reinterpret_cast<PublishInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "PublishInfo")));
    if (!publishInfo) {
        std::fprintf(stderr, "sonabell-probe: %s exports no PublishInfo: not a Sonabell plug-in\n",
                     path);
        return 3;
    }
    char name[64] = "";
    std::vector<unsigned char> info(kCommandInfoAuxOffset +
                                    kCommandInfoMaxCommands * kCommandInfoAuxSize);
    int reserved = -1;
    int result = publishInfo(name, info.data(), &reserved);
    int count = 0;
    std::memcpy(&count, info.data(), sizeof count);
    std::printf("PublishInfo returned %d\n", result);
    std::printf("  plug-in name: %s\n", name);
    std::printf("  menu commands: %d\n", count);
    for (int i = 0; i < count && i < static_cast<int>(kCommandInfoMaxCommands); ++i) {
        std::printf("    %-12s -> /%s\n",
                    reinterpret_cast<const char*>(
                        &info[kCommandInfoCaptionOffset + i * kCommandInfoCaptionSize]),
                    reinterpret_cast<const char*>(
                        &info[kCommandInfoNameOffset + i * kCommandInfoNameSize]));
    }
    std::printf("  reserved word: %d\n", reserved);
    FreeLibrary(dll);
    return 0;
}
