#include "ui/ui_entry.h"

// The dialogs are not built yet.
bool RunAboutDialog() { return false; }
bool RunConfigPanel(char*, size_t) { return false; }
bool RunOptionsDialog() { return false; }
