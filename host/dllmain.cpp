#include "host/plugin.h"

#include <commctrl.h>

#include "audio/engine_unload.h"

// Only the common-controls registration and the module handle: the audio
// engine, threads and COM start in Initialize, never under the loader lock.
// At an unload by FreeLibrary the engine's locks go (no thread of ours is
// left then); at the process's end other threads died wherever they were,
// maybe inside one of them, and nothing is touched.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    InitCommonControls();
    moduleHandle = module;
    if (reason == DLL_PROCESS_DETACH && !reserved)
        SbEngineUnload();
    return TRUE;
}
