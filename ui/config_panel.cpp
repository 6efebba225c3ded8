// The configuration panel: lists the sound table and runs the dialogs that
// change it. It never updates its list in place; after a change it ends with
// 1001 and is opened again with a list built afresh.
#include "ui/dialogs.h"

#include "audio/player.h"
#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>

namespace {

constexpr INT_PTR kPanelReopen = 1001;

void InsertColumn(int position, const char* title, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<char*>(title);
    SendMessageA(soundListView, LVM_INSERTCOLUMNA, position, reinterpret_cast<LPARAM>(&column));
}

void SetSubItem(int row, int subItem, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(TextOrEmpty(text));
    SendMessageA(soundListView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void FillRows() {
    // The list is rebuilt after every change: with redraw suspended the 999
    // rows cost one paint instead of one per row.
    SendMessageA(soundListView, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < soundTable.count; ++i) {
        const SoundRecord* record = soundTable.slots[i];
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>(record ? TextOrEmpty(record->indexText) : "");
        if (i == 0) {
            // Only shows as selected; selectedRow follows clicks alone.
            item.mask |= LVIF_STATE;
            item.state = LVIS_SELECTED;
            item.stateMask = LVIS_SELECTED;
        }
        SendMessageA(soundListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        if (!record)
            continue;
        SetSubItem(i, 1, record->command);
        SetSubItem(i, 2, record->filename);
        SetSubItem(i, 3, record->message);
    }
    SendMessageA(soundListView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(soundListView, nullptr, TRUE);
}

// The row under a point of the list view, or -1.
int RowAt(POINT point) {
    LVHITTESTINFO hit = {};
    hit.pt = point;
    return static_cast<int>(
        SendMessageA(soundListView, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

const SoundRecord* RecordInRow(int row) {
    if (row < 0 || row >= soundTable.count || row >= kTableCapacity)
        return nullptr;
    return soundTable.slots[row];
}

void OnRowClick(const NMITEMACTIVATE* click) {
    int row = RowAt(click->ptAction);
    if (row < 0)
        return;
    // A click on any column selects the whole row.
    LVITEMA state = {};
    state.state = LVIS_SELECTED;
    state.stateMask = LVIS_SELECTED;
    SendMessageA(soundListView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    selectedRow = row;
}

// The first record whose index text is exactly `text`, or null.
const SoundRecord* RecordWithIndexText(const std::string& text) {
    for (int i = 0; i < soundTable.count && i < kTableCapacity; ++i) {
        const SoundRecord* record = soundTable.slots[i];
        if (record && text == TextOrEmpty(record->indexText))
            return record;
    }
    return nullptr;
}

void OnRowActivate(HWND panel, const NMITEMACTIVATE* activation) {
    const int row = RowAt(activation->ptAction);
    const SoundRecord* record = RecordInRow(row);
    if (!record)
        return;
    // A "reload" typed in the chat while the panel is open rebuilds the table
    // in registry order under the rows: send the sound the row shows.
    const std::string shown = ReadRowIndexText(row);
    if (shown != TextOrEmpty(record->indexText)) {
        record = RecordWithIndexText(shown);
        if (!record)
            return;
    }
    hasChosenCommand = true;
    chosenCommand = TextOrEmpty(record->command);
    EndDialog(panel, 1);
}

void DeleteChosenSound(HWND panel) {
    if (selectedRow == -1) {
        errorReport = "You have not chosen a sound to delete. Please choose a sound before trying "
                      "to delete it";
        ShowErrorDialog(panel);
        return;
    }
    if (DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_CONFIRM_DELETE), panel, OkCancelProc,
                        0) != 1)
        return;
    if (const SoundRecord* record = RecordWithIndexText(ReadRowIndexText(selectedRow))) {
        if (DeleteSound(record) == kStoreRefused) {
            errorReport = kReadOnlyDatabaseText; // only a denied delete is refused
            ShowErrorDialog(panel);
            return;
        }
    }
    ClearSoundTable();
    LoadSounds();
    EndDialog(panel, kPanelReopen);
}

void PlayChosenSound(HWND panel) {
    if (selectedRow == -1) {
        errorReport = "You have not chosen a sound to play. Please choose a sound before trying to "
                      "play it";
        ShowErrorDialog(panel);
        return;
    }
    PlaySoundByIndex(LeadingNumber(ReadRowIndexText(selectedRow).c_str()), true);
}

// After Add and SoundPacks: a child that reports its change by its result or
// by databaseChanged makes the panel re-open.
void ReopenIfChanged(HWND panel, INT_PTR result, INT_PTR expected) {
    if (result == expected || databaseChanged) {
        databaseChanged = false;
        EndDialog(panel, kPanelReopen);
    }
}

// OK and Cancel are left to OnCommonMessage.
void OnCommand(HWND panel, int id) {
    switch (id) {
    case IDC_ADD:
        ReopenIfChanged(
            panel,
            DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_ADD_SOUND), panel, AddSoundProc, 0),
            1);
        break;
    case IDC_EDIT:
        if (DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_ADD_SOUND), panel, EditSoundProc,
                            0) == 1)
            EndDialog(panel, kPanelReopen);
        break;
    case IDC_DELETE:
        DeleteChosenSound(panel);
        break;
    case IDC_PLAY:
        PlayChosenSound(panel);
        break;
    case IDC_ENABLE_SOUNDS:
        soundsEnabled = IsDlgButtonChecked(panel, IDC_ENABLE_SOUNDS) == BST_CHECKED;
        StoreSetting("SoundsEnabled", soundsEnabled);
        break;
    case IDC_SOUNDPACKS:
        ReopenIfChanged(
            panel,
            DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_SOUNDPACK), panel, SoundpackProc, 0),
            3);
        break;
    case IDC_OPTIONS:
        DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_OPTIONS), panel, OptionsProc, 0);
        break;
    }
}

} // namespace

INT_PTR CALLBACK ConfigPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetDialogIcon(panel);
        HWND playButton = GetDlgItem(panel, IDC_PLAY);
        soundListView = GetDlgItem(panel, IDC_SOUND_LIST);
        InsertColumn(0, "Index", 50);
        InsertColumn(1, "Command", 75);
        InsertColumn(2, "Filename", 125);
        InsertColumn(3, "Default Message", 200);
        CheckDlgButton(panel, IDC_ENABLE_SOUNDS, soundsEnabled ? BST_CHECKED : BST_UNCHECKED);
        SendMessageA(playButton, BM_SETIMAGE, IMAGE_ICON,
                     reinterpret_cast<LPARAM>(smallPluginIcon));
        FillRows();
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == soundListView) {
            switch (header->code) {
            case NM_CLICK:
                OnRowClick(reinterpret_cast<const NMITEMACTIVATE*>(lParam));
                break;
            case LVN_ITEMACTIVATE:
                OnRowActivate(panel, reinterpret_cast<const NMITEMACTIVATE*>(lParam));
                break;
            }
        }
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(panel, LOWORD(wParam));
        break;
    }
    return OnCommonMessage(panel, message, wParam);
}
