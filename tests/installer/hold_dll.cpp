// Keeps a DLL loaded for a while, as a running host keeps Sonabell.dll.
//   installer-hold-dll <dll> <milliseconds>
// Prints "loaded" once the DLL is in, then sleeps; exit code 1 when the DLL
// cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    HMODULE dll = LoadLibraryA(argv[1]);
    if (!dll)
        return 1;
    std::printf("loaded\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    FreeLibrary(dll);
    return 0;
}
