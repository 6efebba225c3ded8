// The About, Help, Confirm Delete, Options and Error dialogs.
#include "ui/dialogs.h"

#include "database/settings.h"
#include "soundpack/diagnostics.h"
#include "ui/resource.h"

namespace {

// Lines are short: the help box scrolls but does not wrap.
const char kHelpText[] = "SENDING A SOUND\r\n"
                         "Type /xSB followed by a sound's command, with no\r\n"
                         "space, then your message if you like:\r\n"
                         "    /xSBwelcome Hello there!\r\n"
                         "Without a message the sound's default message is\r\n"
                         "sent. Your contact hears the sound if they have\r\n"
                         "Sonabell and a sound with the same index.\r\n"
                         "\r\n"
                         "SENDING BY INDEX\r\n"
                         "A sound can also be sent by its number: /x and\r\n"
                         "the index, e.g. /x7 or /x7 see you. This works\r\n"
                         "even when you have no sound with that index.\r\n"
                         "\r\n"
                         "PICKING A SOUND\r\n"
                         "In the Config Panel, double-click a sound to put\r\n"
                         "its command into your message box.\r\n"
                         "\r\n"
                         "COMMANDS\r\n"
                         "    /xSBabout         the About box\r\n"
                         "    /xSBconfig        the Config Panel\r\n"
                         "    /xSBoptions       the options (error toasts)\r\n"
                         "    /xSBreload        read the sounds again\r\n"
                         "    /xSBenable        play received sounds\r\n"
                         "    /xSBdisable       stop playing received sounds\r\n"
                         "    /xSBDumpDatabase  show every sound, one by one\r\n"
                         "enable and disable last until you restart; the\r\n"
                         "Enable the sounds box in the panel is remembered.\r\n"
                         "\r\n"
                         "ADDING AND EDITING SOUNDS\r\n"
                         "Add... asks for an index (1 to 999, the same for\r\n"
                         "everybody who uses the sound), a command word, the\r\n"
                         "sound file and a default message. Edit... changes\r\n"
                         "the sound you last clicked in the list; Delete\r\n"
                         "removes it from the list (the file stays).\r\n"
                         "\r\n"
                         "WHERE SOUND FILES GO\r\n"
                         "Put the files in the Sonabell folder inside the\r\n"
                         "messenger add-on's plug-in folder. Sonabell looks\r\n"
                         "there for the file name a sound lists, or for the\r\n"
                         "index followed by .mp3 (e.g. 7.mp3). MP3, MP2,\r\n"
                         "WAV, OGG and raw files play.\r\n"
                         "\r\n"
                         "SOUNDPACKS\r\n"
                         "A soundpack is a set of sounds with an INI file\r\n"
                         "that lists each sound's index, command, file and\r\n"
                         "message. Copy the pack's sound files into the\r\n"
                         "Sonabell folder, then in the Config Panel click\r\n"
                         "SoundPacks, choose the pack's install.ini and click\r\n"
                         "Install. Sounds whose index is taken are skipped\r\n"
                         "and listed. Uninstall with the same file removes\r\n"
                         "the pack's sounds from the list again.\r\n";

} // namespace

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDialogIcon(dialog);
        SetDlgItemTextA(dialog, IDC_VERSION, SONABELL_VERSION_TEXT);
        return TRUE;
    }
    return OnCommonMessage(dialog, message, wParam);
}

INT_PTR CALLBACK OkCancelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDialogIcon(dialog);
        // Only the Help template has this box; elsewhere the call finds nothing.
        SetDlgItemTextA(dialog, IDC_HELP_TEXT, kHelpText);
        return TRUE;
    }
    return OnCommonMessage(dialog, message, wParam);
}

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDialogIcon(dialog);
        CheckDlgButton(dialog, IDC_ENABLE_TOASTS, toastsEnabled ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_ENABLE_TOASTS)
            break;
        // Stored at the click: OK and Cancel only close the dialog.
        toastsEnabled = IsDlgButtonChecked(dialog, IDC_ENABLE_TOASTS) == BST_CHECKED;
        StoreSetting("ToastsEnabled", toastsEnabled);
        return TRUE;
    }
    return OnCommonMessage(dialog, message, wParam);
}

INT_PTR CALLBACK ErrorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDialogIcon(dialog);
        SetDlgItemTextA(dialog, IDC_ERROR_TEXT, errorReport.c_str());
        // Emptied now, not at close: text added meanwhile waits for the next one.
        errorReport.clear();
        return TRUE;
    }
    return OnCommonMessage(dialog, message, wParam);
}
