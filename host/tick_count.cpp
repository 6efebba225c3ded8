#include "host/tick_count.h"

#include <windows.h>

namespace {

using TickCountFn = unsigned long long(__stdcall*)();

// Written once by whichever thread asks first; a pointer-sized store, so a
// thread racing it sees either nothing (and looks it up again) or the answer.
TickCountFn volatile chosen = nullptr;

} // namespace

unsigned long long __stdcall CounterMilliseconds() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&count))
        return GetTickCount(); // no counter at all: a tick that wraps is better than none
    return MillisecondsFromCounter(static_cast<unsigned long long>(count.QuadPart),
                                   static_cast<unsigned long long>(frequency.QuadPart));
}

unsigned long long __stdcall TickCount64() {
    TickCountFn function = chosen;
    if (!function) {
        // Looked up, never imported: an import XP lacks stops the whole DLL
        // from loading there.
        FARPROC system = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
        function = system ? reinterpret_cast<TickCountFn>(reinterpret_cast<void*>(system))
                          : CounterMilliseconds;
        chosen = function;
    }
    return function();
}
