#include "clean_state.h"

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <winternl.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace testing_support {

namespace {

// The names of an open key's sub-keys, read before any of them changes.
std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

// Gives a key and everything below it this DACL (in SDDL). Wine neither
// propagates a DACL to existing sub-keys nor merges inherited entries, so
// each key gets it explicitly. The owner may always rewrite a DACL, so this
// works even on keys the DACL itself locks.
void SetTreeDacl(HKEY root, const std::string& path, const char* sddl) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | WRITE_DAC, &key) !=
            ERROR_SUCCESS &&
        RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                             nullptr)) {
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                        nullptr);
        LocalFree(descriptor);
    }
    const std::vector<std::string> children = SubKeyNames(key);
    RegCloseKey(key);
    for (const std::string& child : children)
        SetTreeDacl(root, path + "\\" + child, sddl);
}

} // namespace

void MakeSoundDatabaseReadOnly() {
    SetTreeDacl(HKEY_LOCAL_MACHINE, kSoundsKey, "D:P(A;OICI;KR;;;WD)");
}

void ResetRegistry() {
    // A test that made the database read-only and then failed must not leave
    // it so for the next one.
    SetTreeDacl(HKEY_LOCAL_MACHINE, "Software\\tinderwick_ software", "D:(A;OICI;KA;;;WD)");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\tinderwick_ software");
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\tinderwick_ software");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Kestrune");
}

void CreateSettingsKey() {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void PutSettingValue(const char* name, const std::string& bytes, DWORD type) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key));
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void PutSound(const std::string& index, const std::string& command, const std::string& filename,
              const std::string& message) {
    HKEY key;
    std::string path = std::string(kSoundsKey) + "\\" + index;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    auto set = [&](const char* name, const std::string& text) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    };
    set("Command", command);
    set("Filename", filename);
    set("Message", message);
    RegCloseKey(key);
}

RegValue GetValue(HKEY root, const std::string& key, const char* name) {
    RegValue value;
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        RegQueryValueExA(handle, name, nullptr, &value.type,
                         reinterpret_cast<BYTE*>(value.bytes.data()), &size);
        value.bytes.resize(size);
        value.present = true;
    }
    RegCloseKey(handle);
    return value;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::vector<std::string> SoundKeys() {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSoundsKey, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return {};
    std::vector<std::string> names = SubKeyNames(handle);
    RegCloseKey(handle);
    return names;
}

namespace {
void DumpKey(HKEY root, const std::string& path, std::string& out) {
    HKEY handle;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return;
    out += "[" + path + "]\n";
    std::vector<char> name(16384);
    std::vector<BYTE> data;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        if (RegEnumValueA(handle, i, name.data(), &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        data.resize(size + 1);
        nameLength = static_cast<DWORD>(name.size());
        RegEnumValueA(handle, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        out += std::string(name.data(), nameLength) + " type=" + std::to_string(type) + " " +
               std::string(reinterpret_cast<char*>(data.data()), size) + "\n";
    }
    const std::vector<std::string> children = SubKeyNames(handle);
    RegCloseKey(handle);
    for (const auto& c : children)
        DumpKey(root, path + "\\" + c, out);
}
} // namespace

std::string SnapshotRegistry() {
    std::string out = "HKLM\n";
    DumpKey(HKEY_LOCAL_MACHINE, "Software\\tinderwick_ software", out);
    out += "HKCU\n";
    DumpKey(HKEY_CURRENT_USER, "Software\\tinderwick_ software", out);
    return out;
}

namespace {
// Wine answers 0 to GetProcessHandleCount, and its process list gives the
// size of the handle table, not the handles in it.
DWORD HandleTableSize() {
    using QueryFn = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    const int kProcessList = 5;                           // SystemProcessInformation
    const LONG kTooSmall = static_cast<LONG>(0xC0000004); // STATUS_INFO_LENGTH_MISMATCH
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    while ((status = query(kProcessList, buffer.data(), static_cast<ULONG>(buffer.size()),
                           nullptr)) == kTooSmall &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    for (size_t at = 0;;) {
        const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[at]);
        if (reinterpret_cast<DWORD_PTR>(process->UniqueProcessId) == GetCurrentProcessId())
            return process->HandleCount;
        if (process->NextEntryOffset == 0)
            return 0;
        at += process->NextEntryOffset;
    }
}

// Wine answers 0 to GetGuiResources; the process's windows are the USER
// objects a leak would most likely leave.
DWORD WindowCount() {
    struct Counter {
        static BOOL CALLBACK Child(HWND, LPARAM count) {
            ++*reinterpret_cast<DWORD*>(count);
            return TRUE;
        }
        static BOOL CALLBACK Top(HWND window, LPARAM count) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == GetCurrentProcessId()) {
                ++*reinterpret_cast<DWORD*>(count);
                EnumChildWindows(window, Child, count);
            }
            return TRUE;
        }
    };
    DWORD count = 0;
    EnumWindows(Counter::Top, reinterpret_cast<LPARAM>(&count));
    return count;
}
} // namespace

// The open handles, counted one handle value at a time up to the table's size.
DWORD CountOpenHandles() {
    const UINT_PTR limit = (static_cast<UINT_PTR>(HandleTableSize()) + 64) * 4;
    DWORD open = 0, flags = 0;
    for (UINT_PTR value = 4; value <= limit; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++open;
    return open;
}

ResourceCounts CurrentResourceCounts() {
    ResourceCounts counts;
    counts.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (counts.userObjects == 0)
        counts.userObjects = WindowCount();
    // Handles last: the first window query of a process opens its desktop.
    if (!GetProcessHandleCount(GetCurrentProcess(), &counts.handles) || counts.handles == 0)
        counts.handles = CountOpenHandles();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
        // Wine leaves PrivateUsage 0; the commit charge is the same figure.
        counts.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    return counts;
}

void ExpectCountsLive(const ResourceCounts& counts) {
    EXPECT_GT(counts.handles, 0u) << "the handle count reads 0";
    EXPECT_GT(counts.userObjects, 0u) << "the window count reads 0 (no CountedWindow?)";
    EXPECT_GT(counts.privateBytes, 0u) << "the private bytes read 0";
}

namespace {
constexpr long kHandleSlack = 4;
constexpr long kGuiSlack = 2;
constexpr long long kPrivateSlack = 1024 * 1024;

bool Flat(const ResourceCounts& a, const ResourceCounts& b) {
    return static_cast<long>(b.handles) - static_cast<long>(a.handles) <= kHandleSlack &&
           static_cast<long>(b.userObjects) - static_cast<long>(a.userObjects) <= kGuiSlack &&
           static_cast<long long>(b.privateBytes) - static_cast<long long>(a.privateBytes) <=
               kPrivateSlack;
}
} // namespace

void ExpectFlat(const ResourceCounts& a, const char* soak) {
    ExpectCountsLive(a);
    ResourceCounts b = CurrentResourceCounts();
    for (int retry = 0; retry < 50 && !Flat(a, b); ++retry) {
        Sleep(100);
        b = CurrentResourceCounts();
    }
    std::printf("[ soak     ] %s: handles %lu -> %lu, USER %lu -> %lu, private %llu -> %llu KB\n",
                soak, a.handles, b.handles, a.userObjects, b.userObjects,
                static_cast<unsigned long long>(a.privateBytes / 1024),
                static_cast<unsigned long long>(b.privateBytes / 1024));
    EXPECT_LE(static_cast<long>(b.handles) - static_cast<long>(a.handles), kHandleSlack) << soak;
    EXPECT_LE(static_cast<long>(b.userObjects) - static_cast<long>(a.userObjects), kGuiSlack)
        << soak;
    EXPECT_LE(static_cast<long long>(b.privateBytes) - static_cast<long long>(a.privateBytes),
              kPrivateSlack)
        << soak;
}

CountedWindow::CountedWindow()
    : window_(CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "counted", WS_POPUP, 0, 0, 1, 1, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr)) {
    EXPECT_NE(nullptr, window_) << "cannot create a window: " << GetLastError();
}

CountedWindow::~CountedWindow() {
    if (window_)
        DestroyWindow(window_);
}

} // namespace testing_support
