#include "host/plugin.h"

#include <commctrl.h>

// Only the common-controls registration and the module handle: the audio
// engine, threads and COM start in Initialize, never under the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
    InitCommonControls();
    moduleHandle = module;
    return TRUE;
}
