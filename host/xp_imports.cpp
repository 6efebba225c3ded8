// Sonabell.dll must load on Windows XP SP3, which refuses any DLL that
// imports a function its system DLLs lack. The threads runtime linked in
// statically (behind std::thread, std::mutex and the C++ runtime's own locks)
// calls GetTickCount64, which XP's kernel32 does not have. It calls through
// the import pointer the linker would fill from kernel32; defining that
// pointer here keeps the import out of the DLL and sends the calls to
// TickCount64, which uses the system's function where there is one.
//
// This file must be an object of the DLL itself, not of a library: the
// linker looks in a library only for names still missing, and by the time the
// runtime asks for this one it would already have taken kernel32's.
#include "host/tick_count.h"

using TickCountFn = unsigned long long(__stdcall*)();

#if defined(__i386__)
extern "C" TickCountFn const importedTickCount64 __asm__("__imp__GetTickCount64@0") = TickCount64;
#else
extern "C" TickCountFn const importedTickCount64 __asm__("__imp_GetTickCount64") = TickCount64;
#endif
