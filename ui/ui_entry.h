// The dialogs the chat sub-commands open. Each returns false while its dialog
// is not part of this build, so the sub-command can be declined.
#ifndef SONABELL_UI_UI_ENTRY_H
#define SONABELL_UI_UI_ENTRY_H

#include <cstddef>

bool RunAboutDialog();
// Runs the panel until it ends with something other than 1001, then writes
// "/xSB" + the chosen command, or an empty text, into result (capacity bytes).
bool RunConfigPanel(char* result, size_t capacity);
bool RunOptionsDialog();

#endif
