// The soundpack dialog (template 123): installs or uninstalls the sounds an
// INI file lists.
#include "ui/dialogs.h"

#include "audio/player.h"
#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "soundpack/pack_save.h"
#include "soundpack/soundpack.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commdlg.h>

#include <string>

bool soundpackBusy = false;

namespace {

HWND pathEdit = nullptr;

std::string PathText() {
    int length = GetWindowTextLengthA(pathEdit);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(pathEdit, text.data(), length + 1);
    text.resize(text.find('\0'));
    return text;
}

// Tells the user how an install or uninstall ended; true when it walked the
// pack, which then changed the database.
bool ReportPackResult(HWND dialog, int result, const char* unreadable, const char* noSounds) {
    switch (result) {
    case kPackUnreadable:
        errorReport = unreadable;
        ShowErrorDialog(dialog);
        return false;
    case kPackNoSounds:
        errorReport = noSounds;
        ShowErrorDialog(dialog);
        return false;
    case kPackDone:
        // The lines the operation appended for sounds it could not handle.
        if (!errorReport.empty())
            ShowErrorDialog(dialog);
        databaseChanged = true;
        return true;
    }
    return false;
}

// An install can show a message box with no owner, which leaves this dialog
// usable meanwhile: the busy flag keeps a second command from starting.
void Install(HWND dialog) {
    if (soundpackBusy)
        return;
    soundpackBusy = true;
    std::string path = PathText();
    if (!path.empty() && ReportPackResult(dialog, InstallSoundpack(path.c_str()),
                                          kPackUnreadableText, kPackNoSoundsText))
        EndDialog(dialog, 1);
    soundpackBusy = false;
}

const int kUninstallControls[] = {IDOK, IDC_UNINSTALL, IDCANCEL, IDC_BROWSE, IDC_FILENAME};

void EnableControls(HWND dialog, BOOL enable) {
    for (int id : kUninstallControls)
        EnableWindow(GetDlgItem(dialog, id), enable);
}

void Uninstall(HWND dialog) {
    if (soundpackBusy)
        return;
    soundpackBusy = true;
    int length = GetWindowTextLengthA(pathEdit);
    if (DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_CONFIRM_DELETE), dialog, OkCancelProc,
                        0) != 1 ||
        length == 0) {
        soundpackBusy = false;
        return;
    }
    std::string path = PathText();
    EnableControls(dialog, FALSE);
    if (ReportPackResult(
            dialog, UninstallSoundpack(path.c_str()),
            "Could not open the specified soundpack.ini file. Please check that the file exists, "
            "and that you have the relevant permissions to open it",
            "Could not determine the number of sounds to remove. Either the soundpack.ini file "
            "lists 0 sounds, or the file is in some way corrupt, so nothing was removed."))
        EndDialog(dialog, 3);
    EnableControls(dialog, TRUE);
    soundpackBusy = false;
}

// Checks the pack without installing it; the report runs the check.
void Check(HWND dialog) {
    if (soundpackBusy)
        return;
    std::string path = PathText();
    if (path.empty())
        return;
    soundpackBusy = true;
    ShowPackReport(dialog, path);
    soundpackBusy = false;
}

// The database as a pack, to a file the user names; the system's dialog asks
// before an existing file is replaced.
void SaveAsPack(HWND dialog) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA save = {};
    save.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    save.hwndOwner = dialog;
    save.lpstrFilter = "INI Files (*.ini)\0*.ini\0All Files (*.*)\0*.*\0";
    save.lpstrFile = path;
    save.nMaxFile = sizeof path;
    save.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    save.lpstrDefExt = "ini";
    if (!GetSaveFileNameA(&save))
        return;
    PackSaveOutcome outcome;
    if (!SaveSoundpack(path, SoundFolder(), &outcome)) {
        MessageBoxA(dialog, (std::string("Could not write ") + path + ".").c_str(), "Save as pack",
                    MB_OK | MB_ICONERROR);
        return;
    }
    MessageBoxA(dialog, PackSaveOutcomeText(outcome, path).c_str(), "Save as pack",
                MB_OK | (outcome.problems.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
}

void Browse(HWND dialog) {
    BrowseIntoField(dialog, pathEdit, "INI Files (*.ini)\0*.ini\0All Files (*.*)\0*.*\0");
}

} // namespace

INT_PTR CALLBACK SoundpackProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDialogIcon(dialog);
        pathEdit = GetDlgItem(dialog, IDC_FILENAME);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            Install(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        case IDC_BROWSE:
            Browse(dialog);
            break;
        case IDC_UNINSTALL:
            Uninstall(dialog);
            break;
        case IDC_CHECK_PACK:
            Check(dialog);
            break;
        case IDC_SAVE_PACK:
            SaveAsPack(dialog);
            break;
        }
        return TRUE;
    }
    // Its Cancel ends it with 0, so only the rest is common.
    return OnCommonMessage(dialog, message, wParam);
}
