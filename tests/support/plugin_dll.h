// Loads the built Sonabell.dll as the host does: by path, entry points by name.
#ifndef SONABELL_TESTS_PLUGIN_DLL_H
#define SONABELL_TESTS_PLUGIN_DLL_H

#include "host/entry_points.h"

#include <gtest/gtest.h>

namespace testing_support {

struct PluginDll : entry_points::Table {
    HMODULE module = nullptr;

    // Loads a fresh copy: every global of the plug-in starts at its load value.
    void Load(const char* path) {
        Unload();
        module = LoadLibraryA(path);
        ASSERT_NE(nullptr, module) << "LoadLibrary(" << path << ") failed: " << GetLastError();
        entry_points::Resolve(module, *this);
    }
    void Unload() {
        if (module)
            FreeLibrary(module);
        module = nullptr;
    }
    ~PluginDll() { Unload(); }
};

} // namespace testing_support

#endif
