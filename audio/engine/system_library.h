// A function of one of the system's libraries, looked up at run time and
// typed: the DLL's import table then names nothing Windows XP lacks, and a
// library or function that is missing is a null to test, not a failed load.
#ifndef SONABELL_AUDIO_ENGINE_SYSTEM_LIBRARY_H
#define SONABELL_AUDIO_ENGINE_SYSTEM_LIBRARY_H

#include <windows.h>

// Null when library is null or lacks the function.
template <typename Fn> Fn SbProc(HMODULE library, const char* name) {
    return library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                   : nullptr;
}

#endif
