// The plug-in's exported entry points as the host calls them: looked up by
// name, Windows calling convention, one machine word per argument.
#ifndef SONABELL_HOST_ENTRY_POINTS_H
#define SONABELL_HOST_ENTRY_POINTS_H

#include <windows.h>

namespace entry_points {
using InitializeFn = int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR);
using UninitializeFn = void(WINAPI*)();
using PublishInfoFn = int(WINAPI*)(char*, unsigned char*, int*);
using ParseTagFn = int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR);
using ParseCommandFn = int(WINAPI*)(const char*, const char*, UINT_PTR, char*);
using ReceiveNotifyFn = int(WINAPI*)(const char*, UINT_PTR, UINT_PTR, char*);
using DisplayToastFn = LRESULT(WINAPI*)(const void*, const void*, UINT_PTR, UINT_PTR);
} // namespace entry_points

#endif
