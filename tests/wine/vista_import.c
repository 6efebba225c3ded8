/* A DLL that imports a function Windows XP SP3 lacks (kernel32's
 * GetTickCount64, new in Vista): the XP import check must refuse it. */
#include <windows.h>

__declspec(dllexport) ULONGLONG WINAPI Uptime(void) {
    return GetTickCount64();
}
