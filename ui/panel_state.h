// Process-wide state of the configuration panel, shared with the sound and
// soundpack dialogs and the chat sub-commands; it outlives the panel window.
#ifndef SONABELL_UI_PANEL_STATE_H
#define SONABELL_UI_PANEL_STATE_H

#include <windows.h>

#include <string>

extern int selectedRow;           // the row last clicked, -1 for none
extern bool hasChosenCommand;     // a row was activated
extern std::string chosenCommand; // the activated row's command word
extern bool databaseChanged;      // a child dialog changed the database
extern HWND soundListView;        // the panel's list view

#endif
