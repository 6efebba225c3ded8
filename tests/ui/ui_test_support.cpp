#include "ui_test_support.h"

#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/plugin.h"
#include "recording_engine.h"
#include "soundpack/diagnostics.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/ui_entry.h"

#include <commctrl.h>

#include <cstring>

namespace ui_test {

void UiTest::SetUp() {
    CleanRegistryTest::SetUp();
    moduleHandle = GetModuleHandleA(nullptr);
    if (!pluginIcon)
        pluginIcon = LoadIconA(moduleHandle, MAKEINTRESOURCEA(103));
    if (!smallPluginIcon)
        smallPluginIcon = static_cast<HICON>(LoadImageA(moduleHandle, MAKEINTRESOURCEA(122),
                                                        IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    ClearSoundTable();
    selectedRow = -1;
    hasChosenCommand = false;
    chosenCommand.clear();
    databaseChanged = false;
    soundpackBusy = false;
    errorReport.clear();
    soundsEnabled = true;
    toastsEnabled = true;
    playbackVolume = kFullVolume;
    letSoundsFinish = false;
    soundsPerMinute = 0;
    recording_engine::Reset();
}

void UiTest::TearDown() {
    EXPECT_EQ(0u, driver.Pending()) << "a dialog the test expected never opened";
    for (const auto& window : driver.unexpected)
        ADD_FAILURE() << "unexpected window \"" << window.caption << "\": " << window.text;
    ClearSoundTable();
    CleanRegistryTest::TearDown();
}

void UiTest::GiveSounds(const std::vector<Sound>& sounds) {
    for (const auto& sound : sounds)
        testing_support::PutSound(sound.index, sound.command, sound.filename, sound.message);
    ClearSoundTable();
    LoadSounds();
}

std::string UiTest::RunPanel() {
    char result[256];
    std::memset(result, 'x', sizeof result);
    EXPECT_TRUE(RunConfigPanel(result, sizeof result));
    return result;
}

HWND PanelList(HWND panel) {
    return GetDlgItem(panel, 1009);
}

Rows ListRows(HWND list) {
    Rows rows;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    int columnCount = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> columns;
        for (int column = 0; column < columnCount; ++column) {
            char text[300] = "";
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            columns.push_back(text);
        }
        rows.push_back(columns);
    }
    return rows;
}

std::vector<std::string> ColumnTitles(HWND list) {
    std::vector<std::string> titles;
    for (int position = 0;; ++position) {
        char text[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        if (!SendMessageA(list, LVM_GETCOLUMNA, position, reinterpret_cast<LPARAM>(&column)))
            break;
        titles.push_back(text);
    }
    return titles;
}

namespace {
LPARAM RowPoint(HWND list, int row, int column) {
    RECT bounds = {};
    bounds.top = column;
    bounds.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    if (column == 0) {
        // Sub-item 0's rectangle spans the whole row: keep to the first column.
        bounds.right = bounds.left + static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    }
    return MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
}
} // namespace

void ClickRow(HWND list, int row, int column) {
    LPARAM point = RowPoint(list, row, column);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
}

void DoubleClickRow(HWND list, int row, int column) {
    LPARAM point = RowPoint(list, row, column);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
}

std::vector<std::string> ComboItems(HWND comboEx) {
    std::vector<std::string> items;
    int count = static_cast<int>(SendMessageA(comboEx, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[16] = "";
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(comboEx, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        items.push_back(text);
    }
    return items;
}

void Type(HWND dialog, int id, const std::string& text) {
    SetWindowTextA(GetDlgItem(dialog, id), text.c_str());
}

} // namespace ui_test
