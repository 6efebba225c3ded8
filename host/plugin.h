// The plug-in's frame: process-wide handles and the housekeeping entry points.
#ifndef SONABELL_HOST_PLUGIN_H
#define SONABELL_HOST_PLUGIN_H

#include <windows.h>

extern HINSTANCE moduleHandle; // every resource is loaded from this module
extern HICON pluginIcon;       // icon 103, every dialog's big icon
extern HICON smallPluginIcon;  // icon 122, 16 x 16, the panel's play button

// Entry points the host calls. Every argument and result is one machine word
// (32 bits in the product), passed with the Windows calling convention.
extern "C" {
int WINAPI Initialize(UINT_PTR, UINT_PTR, UINT_PTR);
void WINAPI Uninitialize(void);
int WINAPI PublishInfo(char* name, unsigned char* commandInfo, int* reserved);
int WINAPI ParseTag(UINT_PTR, UINT_PTR, UINT_PTR);
}

#endif
