#ifndef SONABELL_TOOLS_TOAST_WINDOW_H
#define SONABELL_TOOLS_TOAST_WINDOW_H

#include <windows.h>

// Creates the window that shows the plug-in's toasts; null without a desktop.
HWND CreateToastWindow();
int ToastsShown();

#endif
