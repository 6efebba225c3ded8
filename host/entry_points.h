// The plug-in's exported entry points as the host calls them: looked up by
// name, Windows calling convention, one machine word per argument.
#ifndef SONABELL_HOST_ENTRY_POINTS_H
#define SONABELL_HOST_ENTRY_POINTS_H

#include <windows.h>

#include <string>
#include <type_traits>

namespace entry_points {
using InitializeFn = int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR);
using UninitializeFn = void(WINAPI*)();
using PublishInfoFn = int(WINAPI*)(char*, unsigned char*, int*);
using ParseTagFn = int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR);
using ParseCommandFn = int(WINAPI*)(const char*, const char*, UINT_PTR, char*);
using ReceiveNotifyFn = int(WINAPI*)(const char*, UINT_PTR, UINT_PTR, char*);
using DisplayToastFn = LRESULT(WINAPI*)(const void*, const void*, UINT_PTR, UINT_PTR);

// What a host (or a test standing in for one) holds of a loaded plug-in.
struct Table {
    InitializeFn Initialize = nullptr;
    UninitializeFn Uninitialize = nullptr;
    PublishInfoFn PublishInfo = nullptr;
    ParseTagFn ParseTag = nullptr;
    ParseCommandFn ParseCommand = nullptr;
    ReceiveNotifyFn ReceiveNotify = nullptr;
    DisplayToastFn DisplayToast = nullptr; // not needed by the host
    DisplayToastFn DisplayToastW = nullptr;
};

// Looks every entry point up by name. Returns the names of the ones a host
// needs that the module lacks, comma-separated; empty when it has them all.
inline std::string Resolve(HMODULE module, Table& table) {
    std::string missing;
    auto get = [&](const char* name, auto& entry, bool needed) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (!entry && needed)
            missing += missing.empty() ? name : std::string(", ") + name;
    };
    get("Initialize", table.Initialize, true);
    get("Uninitialize", table.Uninitialize, true);
    get("PublishInfo", table.PublishInfo, true);
    get("ParseTag", table.ParseTag, true);
    get("ParseCommand", table.ParseCommand, true);
    get("ReceiveNotify", table.ReceiveNotify, true);
    get("DisplayToast", table.DisplayToast, false);
    get("DisplayToastW", table.DisplayToastW, false);
    return missing;
}
} // namespace entry_points

#endif
