// Threads that run this module's code hold a reference to it, taken by their
// creator before the thread exists and given back by the thread as its very
// last act: a host that unloads the plug-in while one of them is still busy
// (a driver that will not return) leaves the code it runs loaded.
#ifndef SONABELL_AUDIO_ENGINE_MODULE_THREAD_H
#define SONABELL_AUDIO_ENGINE_MODULE_THREAD_H

#include <windows.h>

inline HMODULE SbThisModule(DWORD flags) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags,
                       reinterpret_cast<LPCSTR>(&SbThisModule), &module);
    return module;
}

// Null when no thread could be started (the reference is given back then).
inline HANDLE SbStartModuleThread(LPTHREAD_START_ROUTINE main, void* param) {
    HMODULE module = SbThisModule(0);
    if (!module)
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, main, param, 0, nullptr);
    if (!thread)
        FreeLibrary(module);
    return thread;
}

// The end of every thread started by SbStartModuleThread.
inline void SbEndModuleThread() {
    FreeLibraryAndExitThread(SbThisModule(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), 0);
}

#endif
