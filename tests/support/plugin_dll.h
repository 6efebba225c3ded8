// Loads the built Sonabell.dll as the host does: by path, entry points by name.
#ifndef SONABELL_TESTS_PLUGIN_DLL_H
#define SONABELL_TESTS_PLUGIN_DLL_H

#include "host/entry_points.h"

#include <gtest/gtest.h>

namespace testing_support {

struct PluginDll {
    using InitializeFn = entry_points::InitializeFn;
    using UninitializeFn = entry_points::UninitializeFn;
    using PublishInfoFn = entry_points::PublishInfoFn;
    using ParseTagFn = entry_points::ParseTagFn;
    using ParseCommandFn = entry_points::ParseCommandFn;
    using ReceiveNotifyFn = entry_points::ReceiveNotifyFn;
    using DisplayToastFn = entry_points::DisplayToastFn;

    HMODULE module = nullptr;
    InitializeFn Initialize = nullptr;
    UninitializeFn Uninitialize = nullptr;
    PublishInfoFn PublishInfo = nullptr;
    ParseTagFn ParseTag = nullptr;
    ParseCommandFn ParseCommand = nullptr;
    ReceiveNotifyFn ReceiveNotify = nullptr;
    DisplayToastFn DisplayToast = nullptr;
    DisplayToastFn DisplayToastW = nullptr;

    // Loads a fresh copy: every global of the plug-in starts at its load value.
    void Load(const char* path) {
        Unload();
        module = LoadLibraryA(path);
        ASSERT_NE(nullptr, module) << "LoadLibrary(" << path << ") failed: " << GetLastError();
        Initialize = Get<InitializeFn>("Initialize");
        Uninitialize = Get<UninitializeFn>("Uninitialize");
        PublishInfo = Get<PublishInfoFn>("PublishInfo");
        ParseTag = Get<ParseTagFn>("ParseTag");
        ParseCommand = Get<ParseCommandFn>("ParseCommand");
        ReceiveNotify = Get<ReceiveNotifyFn>("ReceiveNotify");
        DisplayToast = Get<DisplayToastFn>("DisplayToast");
        DisplayToastW = Get<DisplayToastFn>("DisplayToastW");
    }
    void Unload() {
        if (module)
            FreeLibrary(module);
        module = nullptr;
    }
    ~PluginDll() { Unload(); }

  private:
    template <typename T> T Get(const char* name) {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
};

} // namespace testing_support

#endif
