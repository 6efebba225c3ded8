#include "host/plugin.h"

#include <commctrl.h>

#include "audio/engine_unload.h"

// The C++ runtime is linked in statically, and its start-up reserves a pool
// for exceptions thrown when memory runs out (72 KB in 64 bits); nothing
// gives it back at an unload, so every load would keep one.
namespace __gnu_cxx {
void __freeres();
}

// Only the common-controls registration and the module handle: the audio
// engine, threads and COM start in Initialize, never under the loader lock.
// At an unload by FreeLibrary the engine's locks go (no thread of ours is
// left then); at the process's end other threads died wherever they were,
// maybe inside one of them, and nothing is touched. No exception can be in
// flight at an unload, so the runtime's pool may go.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    InitCommonControls();
    moduleHandle = module;
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        SbEngineUnload();
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
