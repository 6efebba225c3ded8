// Shared by the dialog tests: a clean plug-in state with the templates and
// icons loaded from the test executable, and ways to read and click the
// panel's list view the way a user does.
#ifndef SONABELL_TESTS_UI_TEST_SUPPORT_H
#define SONABELL_TESTS_UI_TEST_SUPPORT_H

#include "clean_state.h"
#include "ui_driver.h"

#include <windows.h>

#include <string>
#include <vector>

namespace ui_test {

constexpr const char* kPanel = "Sonabell Config Panel";
constexpr const char* kErrorDialog = "Sonabell Error Dialog";
constexpr const char* kConfirmDelete = "Confirm Delete";
constexpr const char* kAddSounds = "Add Sounds";
constexpr const char* kSoundpackDialog = "Install a Soundpack";
constexpr const char* kOptions = "Dialog";
constexpr const char* kHelp = "Sonabell Help";
constexpr const char* kPackReport = "Soundpack Check";

struct Sound {
    std::string index, command, filename, message;
};

class UiTest : public testing_support::CleanRegistryTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the sounds to the registry and loads the table from it.
    void GiveSounds(const std::vector<Sound>& sounds);
    // Runs the panel as the config sub-command does; the result text.
    std::string RunPanel();
    testing_support::UiDriver driver;
};

using Rows = std::vector<std::vector<std::string>>;
// Every row of a list view, each with all its columns.
Rows ListRows(HWND list);
std::vector<std::string> ColumnTitles(HWND list);
// Real mouse input at the middle of a row's column, posted to the list view
// so that the control itself notifies the panel.
void ClickRow(HWND list, int row, int column = 0);
void DoubleClickRow(HWND list, int row, int column = 0);
HWND PanelList(HWND panel);
// The texts of a combo box's items, in list order.
std::vector<std::string> ComboItems(HWND comboEx);
// Sets a window's text, as typing would.
void Type(HWND dialog, int id, const std::string& text);

} // namespace ui_test

#endif
