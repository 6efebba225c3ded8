// Opens one of the plug-in's dialogs with sample content for a screenshot,
// tells the waiting script by creating a marker file, and closes it again a
// few seconds later. scripts/screenshots.sh runs it once per dialog.
//   ui_screenshots <about|help|error|confirm|options|panel|add|soundpack> <marker>
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

const char* markerPath = nullptr;
int ticks = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
    if (ticks == 10 && markerPath) { // the dialog has had time to paint
        if (FILE* marker = std::fopen(markerPath, "w"))
            std::fclose(marker);
    }
    if (ticks == 60) {
        // Close whatever dialog is in front, down to the last one.
        HWND front = GetActiveWindow();
        if (front)
            EndDialog(front, 2);
    }
}

void AddSampleSound(const char* index, const char* command, const char* file, const char* message) {
    int slot = FindFreeSlot();
    SoundRecord* record = CreateSoundRecord(true);
    soundTable.slots[slot] = record;
    SetRecordText(&record->indexText, index);
    SetRecordText(&record->command, command);
    SetRecordText(&record->filename, file);
    SetRecordText(&record->message, message);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    markerPath = argv[2];
    moduleHandle = GetModuleHandleA(nullptr);
    pluginIcon = LoadIconA(moduleHandle, MAKEINTRESOURCEA(IDI_PLUGIN));
    smallPluginIcon = static_cast<HICON>(
        LoadImageA(moduleHandle, MAKEINTRESOURCEA(IDI_PLAY), IMAGE_ICON, 16, 16, 0));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    AddSampleSound("1", "welcome", "\\welcome.mp3", "Welcome to the chat!");
    AddSampleSound("2", "hi", "\\hi.wav", "Hi there");
    AddSampleSound("5", "laugh", "\\laugh.mp3", "LOL");
    AddSampleSound("7", "bye", "\\bye.ogg", "See you later");
    AddSampleSound("12", "doorbell", "\\doorbell.mp3", "Knock knock");
    AddSampleSound("40", "applause", "\\applause.wav", "Well done!");
    SetTimer(nullptr, 0, 50, Tick);

    const char* name = argv[1];
    struct {
        const char* name;
        int templateId;
        DLGPROC procedure;
    } dialogs[] = {
        {"about", IDD_ABOUT, AboutProc},       {"help", IDD_HELP, OkCancelProc},
        {"error", IDD_ERROR, ErrorProc},       {"confirm", IDD_CONFIRM_DELETE, OkCancelProc},
        {"options", IDD_OPTIONS, OptionsProc}, {"panel", IDD_CONFIG_PANEL, ConfigPanelProc},
        {"add", IDD_ADD_SOUND, AddSoundProc},  {"soundpack", IDD_SOUNDPACK, SoundpackProc},
    };
    for (const auto& dialog : dialogs) {
        if (std::strcmp(dialog.name, name) != 0)
            continue;
        if (dialog.templateId == IDD_OPTIONS) {
            toastsEnabled = true;
            playbackVolume = 80;
            letSoundsFinish = true;
            soundsPerMinute = 10;
        }
        if (dialog.templateId == IDD_ERROR)
            errorReport = "A sound with the same index number already exists, please choose "
                          "another index and try again.";
        DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(dialog.templateId), nullptr,
                        dialog.procedure, 0);
        ClearSoundTable();
        return 0;
    }
    return 2;
}
