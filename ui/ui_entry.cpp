#include "ui/ui_entry.h"

#include "host/plugin.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>

#include <cstring>

namespace {
// The panel's list view, the index list and the Options dialog's volume
// slider and number box are common controls.
void RegisterControlClasses() {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
}
} // namespace

bool RunAboutDialog() {
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutProc, 0);
    return true;
}

bool RunConfigPanel(char* result, size_t capacity) {
    // The panel has no owner, so the chat can ask for it again while it is
    // open. One panel at a time: its list view and rows are global state.
    static bool panelRunning = false;
    if (panelRunning) {
        if (soundListView)
            SetForegroundWindow(GetParent(soundListView));
        if (result && capacity > 0)
            result[0] = '\0';
        return true;
    }
    panelRunning = true;
    RegisterControlClasses();
    // Every change ends the panel with 1001; opening it again shows the change.
    while (DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_CONFIG_PANEL), nullptr,
                           ConfigPanelProc, 0) == 1001) {
    }
    panelRunning = false;
    if (!result || capacity == 0)
        return true;
    result[0] = '\0';
    if (hasChosenCommand) {
        hasChosenCommand = false;
        // A command that does not fit whole is not sent cut short.
        static const char kPrefix[] = "/xSB";
        size_t length = sizeof kPrefix - 1 + chosenCommand.size();
        if (length < capacity) {
            std::memcpy(result, kPrefix, sizeof kPrefix - 1);
            std::memcpy(result + sizeof kPrefix - 1, chosenCommand.c_str(),
                        chosenCommand.size() + 1);
        }
    }
    return true;
}

bool RunOptionsDialog() {
    RegisterControlClasses();
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_OPTIONS), nullptr, OptionsProc, 0);
    return true;
}
