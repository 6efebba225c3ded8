// The About, Help, Confirm Delete, Options and Error dialogs.
#include "ui/dialogs.h"

#include "audio/engine_controls.h"
#include "database/settings.h"
#include "soundpack/diagnostics.h"
#include "ui/resource.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

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
                         "    /xSBoptions       the options (toasts, volume,\r\n"
                         "                      sounds that wait, a limit)\r\n"
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
                         "LISTENING\r\n"
                         "In the options (/xSBoptions, or Options in the\r\n"
                         "Config Panel) you choose how received sounds play;\r\n"
                         "every change counts at once and is remembered.\r\n"
                         "    Volume: 0 to 100%. Test plays a short chime\r\n"
                         "    at that volume, so you hear whether your\r\n"
                         "    sound output works at all.\r\n"
                         "    Let a sound finish before the next one starts:\r\n"
                         "    a sound that arrives while another plays waits\r\n"
                         "    its turn. Up to 3 wait; more are not played.\r\n"
                         "    Without it a new sound cuts off the one before.\r\n"
                         "    Play at most N received sounds a minute: when a\r\n"
                         "    contact sends more, the rest are not played and\r\n"
                         "    a toast says so, once a minute. 0 = no limit.\r\n"
                         "    Even out the loudness of sounds: each sound\r\n"
                         "    file is measured once and played at one\r\n"
                         "    loudness, so a whisper and an air horn sound\r\n"
                         "    alike; Volume applies on top. Never clips.\r\n"
                         "The play button in the panel always plays at once.\r\n"
                         "\r\n"
                         "WHERE SOUND FILES GO\r\n"
                         "Put the files in the Sonabell folder inside the\r\n"
                         "messenger add-on's plug-in folder. Sonabell looks\r\n"
                         "there for the file name a sound lists, or for the\r\n"
                         "index followed by .mp3 (e.g. 7.mp3). MP3, MP2,\r\n"
                         "WAV, AIFF, OGG (Vorbis and Opus), FLAC and raw\r\n"
                         "files play, and WMA and M4A where Windows has\r\n"
                         "their codecs.\r\n"
                         "\r\n"
                         "SOUNDPACKS\r\n"
                         "A soundpack is a set of sounds with an INI file\r\n"
                         "that lists each sound's index, command, file and\r\n"
                         "message. Copy the pack's sound files into the\r\n"
                         "Sonabell folder, then in the Config Panel click\r\n"
                         "SoundPacks, choose the pack's install.ini and click\r\n"
                         "Install. Sounds whose index is taken are skipped\r\n"
                         "and listed. Uninstall with the same file removes\r\n"
                         "the pack's sounds from the list again.\r\n"
                         "\r\n"
                         "MAKING A SOUNDPACK\r\n"
                         "Check (in the SoundPacks dialog) reads the INI\r\n"
                         "you chose as Install would, without installing:\r\n"
                         "one row per sound says whether it would install,\r\n"
                         "be skipped and why, or carries a warning (a file\r\n"
                         "missing or unplayable, a command that cannot be\r\n"
                         "sent or is shared, a message that would be cut).\r\n"
                         "Copy puts the rows on the clipboard.\r\n"
                         "Save as pack... writes all your sounds as a pack\r\n"
                         "INI and copies their files beside it. Sounds the\r\n"
                         "INI format cannot hold are listed, not saved.\r\n"
                         "sonabell-pack.exe does both from a script.\r\n";

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

namespace {

void ShowVolume(HWND dialog) {
    char text[8];
    std::snprintf(text, sizeof text, "%d%%", playbackVolume);
    SetDlgItemTextA(dialog, IDC_VOLUME_VALUE, text);
}

void InitPlaybackControls(HWND dialog) {
    HWND slider = GetDlgItem(dialog, IDC_VOLUME);
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kFullVolume));
    SendMessageA(slider, TBM_SETTICFREQ, 10, 0);
    SendMessageA(slider, TBM_SETPAGESIZE, 0, 10);
    SendMessageA(slider, TBM_SETPOS, TRUE, playbackVolume);
    ShowVolume(dialog);
    CheckDlgButton(dialog, IDC_LET_FINISH, letSoundsFinish ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EVEN_LOUDNESS, evenLoudness ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(dialog, IDC_SOUNDS_PER_MINUTE, EM_LIMITTEXT, 3, 0);
    SendDlgItemMessageA(dialog, IDC_SOUNDS_PER_MINUTE_SPIN, UDM_SETRANGE32, 0,
                        kMostSoundsPerMinute);
    SendDlgItemMessageA(dialog, IDC_SOUNDS_PER_MINUTE_SPIN, UDM_SETPOS32, 0, soundsPerMinute);
    SetDlgItemInt(dialog, IDC_SOUNDS_PER_MINUTE, static_cast<UINT>(soundsPerMinute), FALSE);
}

// Every step of the slider is heard at once, the playing sound included, and
// stored at once.
void OnVolumeMoved(HWND dialog) {
    const int position =
        static_cast<int>(SendDlgItemMessageA(dialog, IDC_VOLUME, TBM_GETPOS, 0, 0));
    if (position == playbackVolume || position < 0 || position > kFullVolume)
        return;
    playbackVolume = position;
    SbEngineSetVolume(playbackVolume);
    StoreSettingByte("Volume", static_cast<unsigned char>(playbackVolume));
    ShowVolume(dialog);
}

void OnTestChime(HWND dialog) {
    char reason[256] = "";
    if (SbEnginePlayChime(reason, sizeof reason))
        return;
    std::string text = "The test chime could not be played.";
    if (reason[0]) {
        text += "\r\n\r\n";
        text += reason;
    }
    MessageBoxA(dialog, text.c_str(), "Sonabell Plugin", MB_OK | MB_ICONEXCLAMATION);
}

// Takes the number box's text as the user types it. A box emptied on the
// way to a new number changes nothing; a number above the largest becomes
// the largest.
void OnSoundsPerMinuteEdited(HWND dialog) {
    char text[16] = "";
    GetDlgItemTextA(dialog, IDC_SOUNDS_PER_MINUTE, text, sizeof text);
    if (text[0] < '0' || text[0] > '9')
        return;
    int limit = LeadingNumber(text);
    if (limit > kMostSoundsPerMinute) {
        limit = kMostSoundsPerMinute;
        SetDlgItemInt(dialog, IDC_SOUNDS_PER_MINUTE, static_cast<UINT>(limit), FALSE);
        SendDlgItemMessageA(dialog, IDC_SOUNDS_PER_MINUTE, EM_SETSEL, 3, 3);
    }
    if (limit == soundsPerMinute)
        return;
    soundsPerMinute = limit;
    StoreSettingByte("SoundsPerMinute", static_cast<unsigned char>(limit));
}

// A box left empty shows the limit that holds again.
void OnSoundsPerMinuteLeft(HWND dialog) {
    char text[16] = "";
    GetDlgItemTextA(dialog, IDC_SOUNDS_PER_MINUTE, text, sizeof text);
    if (text[0] < '0' || text[0] > '9')
        SetDlgItemInt(dialog, IDC_SOUNDS_PER_MINUTE, static_cast<UINT>(soundsPerMinute), FALSE);
}

// Set on a dialog once its controls show the settings: the number box's
// notifications before that are the dialog filling it, not the user.
const LONG_PTR kControlsReady = 1;

} // namespace

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDialogIcon(dialog);
        CheckDlgButton(dialog, IDC_ENABLE_TOASTS, toastsEnabled ? BST_CHECKED : BST_UNCHECKED);
        InitPlaybackControls(dialog);
        SetWindowLongPtrA(dialog, DWLP_USER, kControlsReady);
        return TRUE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_VOLUME))
            break;
        OnVolumeMoved(dialog);
        return TRUE;
    case WM_COMMAND:
        // Stored at the click: OK and Cancel only close the dialog.
        switch (LOWORD(wParam)) {
        case IDC_ENABLE_TOASTS:
            toastsEnabled = IsDlgButtonChecked(dialog, IDC_ENABLE_TOASTS) == BST_CHECKED;
            StoreSetting("ToastsEnabled", toastsEnabled);
            return TRUE;
        case IDC_LET_FINISH:
            letSoundsFinish = IsDlgButtonChecked(dialog, IDC_LET_FINISH) == BST_CHECKED;
            StoreSetting("LetFinish", letSoundsFinish);
            return TRUE;
        case IDC_EVEN_LOUDNESS:
            evenLoudness = IsDlgButtonChecked(dialog, IDC_EVEN_LOUDNESS) == BST_CHECKED;
            SbEngineSetEvenLoudness(evenLoudness);
            StoreSetting("EvenLoudness", evenLoudness);
            return TRUE;
        case IDC_TEST_CHIME:
            if (HIWORD(wParam) == BN_CLICKED)
                OnTestChime(dialog);
            return TRUE;
        case IDC_SOUNDS_PER_MINUTE:
            if (GetWindowLongPtrA(dialog, DWLP_USER) != kControlsReady)
                return TRUE;
            if (HIWORD(wParam) == EN_CHANGE)
                OnSoundsPerMinuteEdited(dialog);
            else if (HIWORD(wParam) == EN_KILLFOCUS)
                OnSoundsPerMinuteLeft(dialog);
            return TRUE;
        }
        break;
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
