// The add and edit sound dialogs (template 113) and their index list.
#include "ui/dialogs.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>

#include <cstring>
#include <string>

int indexPosition[1000];
int editSlot = -1;

namespace {

constexpr int kLowestIndex = 1;
constexpr int kHighestIndex = 999;
constexpr INT_PTR kNoSoundChosen = -201;

// A sound's four texts, copied out of the table so they survive a reload.
struct SoundTexts {
    std::string indexText, command, filename, message;
};

std::string FieldText(HWND dialog, int id) {
    HWND field = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(field);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(field, text.data(), length + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// The text in the index list's edit field: what the user picked or typed.
// At most 3 characters are taken, so a typed 1000 reads as 100.
void ReadIndexField(HWND dialog, char (&text)[4]) {
    text[0] = text[1] = text[2] = text[3] = '\0';
    HWND indexList = GetDlgItem(dialog, IDC_INDEX_LIST);
    HWND edit = reinterpret_cast<HWND>(SendMessageA(indexList, CBEM_GETEDITCONTROL, 0, 0));
    if (edit) {
        GetWindowTextA(edit, text, sizeof text);
        return;
    }
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT;
    item.iItem = -1;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(indexList, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    text[3] = '\0';
}

SoundTexts ReadFields(HWND dialog) {
    char indexText[4];
    ReadIndexField(dialog, indexText);
    return {indexText, FieldText(dialog, IDC_COMMAND), FieldText(dialog, IDC_FILENAME),
            FieldText(dialog, IDC_MESSAGE)};
}

// The message for a failed AddSound; false for a code that has none.
bool SetAddFailureReport(int result) {
    switch (result) {
    case kStoreExists:
        errorReport = "A sound with the same index number already exists, please choose another "
                      "index and try again.";
        return true;
    case kStoreInvalidIndex:
        errorReport = "The number specified for the sound index is not within the valid range. "
                      "Please make sure it is a positive integer between 1 and 999";
        return true;
    case kStoreRefused:
        if (LastWriteWasDenied())
            errorReport = kReadOnlyDatabaseText;
        else
            errorReport = "The sound could not be saved: the registry refused the write. Please "
                          "check that you are allowed to change the plug-in's sound database and "
                          "try again.";
        return true;
    }
    return false;
}

void Browse(HWND dialog) {
    BrowseIntoField(dialog, GetDlgItem(dialog, IDC_FILENAME),
                    "MP3 Files\0*.mp3\0Wave files\0*.wav\0Windows Media Audio files\0*.wma\0"
                    "MP2 files\0*.mp2\0ASF files\0*.asf\0OGG files\0*.ogg\0RAW files\0*.raw\0"
                    "All Files\0*.*\0");
}

void ShowHelp(HWND dialog) {
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_HELP), dialog, OkCancelProc, 0);
}

// The table slot whose record matches a row's index text, or -1. Only
// slots that hold a record are looked at.
int SlotOfIndexText(const char* indexText, bool exact) {
    for (int i = 0; i < soundTable.count && i < kTableCapacity; ++i) {
        const SoundRecord* record = soundTable.slots[i];
        if (!record)
            continue;
        const char* text = TextOrEmpty(record->indexText);
        if (exact ? std::strcmp(text, indexText) == 0
                  : LeadingNumber(text) == LeadingNumber(indexText))
            return i;
    }
    return -1;
}

// The edit dialog's way out when the panel names no sound to edit.
void RefuseEdit(HWND dialog) {
    errorReport = "You have not chosen a sound to edit. Please choose a sound before trying to "
                  "edit it";
    ShowErrorDialog(dialog);
    EndDialog(dialog, kNoSoundChosen);
}

// Shared by both dialogs: the commands that are not create or replace.
void OnOtherCommand(HWND dialog, int id) {
    switch (id) {
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_BROWSE:
        Browse(dialog);
        break;
    case IDC_HELP_COMMAND:
        ShowHelp(dialog);
        break;
    }
}

void Create(HWND dialog) {
    SoundTexts sound = ReadFields(dialog);
    int result = AddSound(sound.indexText.c_str(), sound.command.c_str(), sound.filename.c_str(),
                          sound.message.c_str());
    LoadSounds();
    if (result == kStoreDone) {
        EndDialog(dialog, 1);
        return;
    }
    if (SetAddFailureReport(result))
        ShowErrorDialog(dialog);
}

void Replace(HWND dialog) {
    if (selectedRow == -1) {
        RefuseEdit(dialog);
        return;
    }
    editSlot = SlotOfIndexText(ReadRowIndexText(selectedRow).c_str(), true);
    if (editSlot == -1) {
        // The list is older than the table: the row names no sound.
        RefuseEdit(dialog);
        return;
    }
    const SoundRecord* old = soundTable.slots[editSlot];
    SoundTexts before = {TextOrEmpty(old->indexText), TextOrEmpty(old->command),
                         TextOrEmpty(old->filename), TextOrEmpty(old->message)};
    int deleteResult = DeleteSound(old);
    ClearSoundTable();
    editSlot = -1;
    if (deleteResult != kStoreDone) {
        // The table is whole again before the box: the chat goes on behind it.
        LoadSounds();
        if (deleteResult == kStoreRefused) {
            // The old entry is untouched; the dialog stays open with the edits.
            errorReport = kReadOnlyDatabaseText;
            ShowErrorDialog(dialog);
            return;
        }
        MessageBoxA(nullptr, deleteResult == kStoreNoDatabase ? "DB unavailable" : "Diff err", "",
                    MB_OK);
        return;
    }
    SoundTexts after = ReadFields(dialog);
    int createResult = AddSound(after.indexText.c_str(), after.command.c_str(),
                                after.filename.c_str(), after.message.c_str());
    if (createResult == kStoreDone) {
        LoadSounds();
        selectedRow = -1;
        databaseChanged = true;
        EndDialog(dialog, 1);
        return;
    }
    // The new entry was refused: put the old one back rather than lose it.
    // The row then still names it, so the user can correct the fields and
    // try again.
    SoundRecord restore = {before.indexText.data(), before.command.data(), before.filename.data(),
                           before.message.data(), false};
    if (WriteSound(&restore) != kStoreDone)
        selectedRow = -1;
    LoadSounds();
    if (SetAddFailureReport(createResult))
        ShowErrorDialog(dialog);
}

// What the add and edit dialogs answer alike; `accept` handles OK.
INT_PTR OnSoundDialogMessage(HWND dialog, UINT message, WPARAM wParam, void (*accept)(HWND)) {
    switch (message) {
    case WM_HELP: // template 113 has no help button: F1 stands in for it
        PostMessageA(dialog, WM_COMMAND, IDC_HELP_COMMAND, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            accept(dialog);
        else
            OnOtherCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        ReleaseTemplateBitmaps(dialog);
        return FALSE;
    }
    return FALSE;
}

} // namespace

void ASInit(HWND indexList, IndexListMode mode, int slot) {
    if (!indexList)
        MessageBoxA(nullptr, "The handle supplied to ASInit() is invalid", "Error", MB_OK);
    // One pass over the table marks the used indices; another fills the list.
    bool used[kHighestIndex + 1] = {};
    for (int j = 0; j < soundTable.count && j < kTableCapacity; ++j) {
        const SoundRecord* record = soundTable.slots[j];
        if (!record || (mode == kIndexListEdit && j == slot))
            continue;
        int value = LeadingNumber(TextOrEmpty(record->indexText));
        if (value >= kLowestIndex && value <= kHighestIndex)
            used[value] = true;
    }
    int position = 0;
    for (int i = kLowestIndex; i <= kHighestIndex; ++i) {
        if (used[i]) {
            indexPosition[i] = -1;
            continue;
        }
        indexPosition[i] = position;
        char text[8];
        wsprintfA(text, "%d", i);
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT;
        item.iItem = position;
        item.pszText = text;
        SendMessageA(indexList, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ++position;
    }
    int selection = 0;
    if (mode == kIndexListEdit) {
        // A stored index outside 1..999 has no place in the list.
        const SoundRecord* record =
            slot >= 0 && slot < kTableCapacity ? soundTable.slots[slot] : nullptr;
        int value = record ? LeadingNumber(TextOrEmpty(record->indexText)) : 0;
        selection = value >= kLowestIndex && value <= kHighestIndex ? indexPosition[value] : -1;
    }
    SendMessageA(indexList, CB_SETCURSEL, selection, 0);
}

INT_PTR CALLBACK AddSoundProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDialogIcon(dialog);
        HWND indexList = GetDlgItem(dialog, IDC_INDEX_LIST);
        if (!indexList)
            ShowSystemError(GetLastError());
        ASInit(indexList, kIndexListAdd, -1);
        return TRUE;
    }
    return OnSoundDialogMessage(dialog, message, wParam, Create);
}

INT_PTR CALLBACK EditSoundProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        if (selectedRow == -1) {
            RefuseEdit(dialog);
            return TRUE;
        }
        editSlot = SlotOfIndexText(ReadRowIndexText(selectedRow).c_str(), false);
        if (editSlot == -1) {
            RefuseEdit(dialog);
            return TRUE;
        }
        SetDialogIcon(dialog);
        SetDlgItemTextA(dialog, IDOK, "&Edit");
        const SoundRecord* record = soundTable.slots[editSlot];
        SetDlgItemTextA(dialog, IDC_FILENAME, TextOrEmpty(record->filename));
        SetDlgItemTextA(dialog, IDC_COMMAND, TextOrEmpty(record->command));
        SetDlgItemTextA(dialog, IDC_MESSAGE, TextOrEmpty(record->message));
        ASInit(GetDlgItem(dialog, IDC_INDEX_LIST), kIndexListEdit, editSlot);
        editSlot = -1;
        return TRUE;
    }
    return OnSoundDialogMessage(dialog, message, wParam, Replace);
}
