#include "ui/panel_state.h"

int selectedRow = -1;
bool hasChosenCommand = false;
std::string chosenCommand;
bool databaseChanged = false;
HWND soundListView = nullptr;
