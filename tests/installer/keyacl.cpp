// Prints the entries of a registry key's access control list, read back with
// the security API, one line each:
//   <SID><TAB>allow|deny|other<TAB><access mask, 8 hex digits><TAB><flags, 2 hex digits>
// A missing key prints nothing and ends with exit code 1.
//   installer-keyacl HKLM|HKCU <key>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: installer-keyacl HKLM|HKCU <key>\n");
        return 2;
    }
    HKEY root = std::strcmp(argv[1], "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key;
    if (RegOpenKeyExA(root, argv[2], 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return 1;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD rc = GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                               &dacl, nullptr, &descriptor);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "GetSecurityInfo failed: %lu\n", rc);
        return 3;
    }
    ACL_SIZE_INFORMATION size = {};
    if (dacl)
        GetAclInformation(dacl, &size, sizeof size, AclSizeInformation);
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            continue;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        const char* kind = "other";
        ACCESS_MASK mask = 0;
        PSID sid = nullptr;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
            kind = "allow";
            mask = allowed->Mask;
            sid = const_cast<DWORD*>(&allowed->SidStart);
        } else if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const auto* denied = static_cast<const ACCESS_DENIED_ACE*>(entry);
            kind = "deny";
            mask = denied->Mask;
            sid = const_cast<DWORD*>(&denied->SidStart);
        }
        char* sidText = nullptr;
        if (sid)
            ConvertSidToStringSidA(sid, &sidText);
        std::printf("%s\t%s\t%08lx\t%02x\n", sidText ? sidText : "-", kind,
                    static_cast<unsigned long>(mask), header->AceFlags);
        if (sidText)
            LocalFree(sidText);
    }
    LocalFree(descriptor);
    return 0;
}
