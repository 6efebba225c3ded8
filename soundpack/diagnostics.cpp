#include "soundpack/diagnostics.h"

std::string errorReport;

// Not built yet: placeholders that keep the plug-in linking.
void ShowSystemError(unsigned long) {}
void ShowNumberBox(int, const char*) {}
int AppendErrorLog() { return -2; }
void ShowDatabaseDump(int) {}
