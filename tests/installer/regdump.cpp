// Prints every value under a registry key, sub-keys included, one line each:
//   <key path below the root><TAB><value name><TAB><type><TAB><data in hex>
// The data is read with the ANSI calls the plug-in uses, so a string shows its
// terminating zero exactly when the plug-in would read one. A missing key
// prints nothing and ends with exit code 1.
//   installer-regdump HKLM|HKCU <key>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

static const char* TypeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "REG_OTHER";
    }
}

static void DumpKey(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; i++) {
        char name[16384];
        DWORD nameSize = sizeof name;
        static BYTE data[1 << 16];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        std::printf("%s\t%s\t%s\t", path.c_str(), name, TypeName(type));
        for (DWORD b = 0; b < dataSize; b++)
            std::printf("%02x", data[b]);
        std::printf("\n");
    }
    for (DWORD i = 0;; i++) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DumpKey(root, path + "\\" + name);
    }
    RegCloseKey(key);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: installer-regdump HKLM|HKCU <key>\n");
        return 2;
    }
    HKEY root = std::strcmp(argv[1], "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key;
    if (RegOpenKeyExA(root, argv[2], 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    RegCloseKey(key);
    DumpKey(root, argv[2]);
    return 0;
}
