// Opens one of the plug-in's dialogs with the sample content of its picture,
// writes the text the dialog shows (docs/screenshots/<dialog>.txt, checked by
// ScreenshotTextTest against the dialog as it is now), tells the waiting
// script by creating a marker file, and closes it again a few seconds later.
// scripts/screenshots.sh runs it once per dialog.
//   ui_screenshots <about|help|error|confirm|options|panel|add|soundpack|report> <marker> [<text
//   file>]
#include "host/plugin.h"
#include "ui/resource.h"

#include "screenshot_scenes.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

const char* markerPath = nullptr;
const char* textPath = nullptr;
int ticks = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
    if (ticks == 10) { // the dialog has had time to paint
        if (textPath) {
            const std::string text = screenshots::ShownText(GetActiveWindow());
            if (FILE* file = std::fopen(textPath, "wb")) {
                std::fwrite(text.data(), 1, text.size(), file);
                std::fclose(file);
            }
        }
        if (markerPath) {
            if (FILE* marker = std::fopen(markerPath, "w"))
                std::fclose(marker);
        }
    }
    if (ticks == 60) {
        // Close whatever dialog is in front, down to the last one.
        HWND front = GetActiveWindow();
        if (front)
            EndDialog(front, 2);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const screenshots::Scene* scene = screenshots::FindScene(argv[1]);
    if (!scene)
        return 2;
    markerPath = argv[2];
    textPath = argc > 3 ? argv[3] : nullptr;
    moduleHandle = GetModuleHandleA(nullptr);
    pluginIcon = LoadIconA(moduleHandle, MAKEINTRESOURCEA(IDI_PLUGIN));
    smallPluginIcon = static_cast<HICON>(
        LoadImageA(moduleHandle, MAKEINTRESOURCEA(IDI_PLAY), IMAGE_ICON, 16, 16, 0));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
    screenshots::PrepareScene(*scene);
    SetTimer(nullptr, 0, 50, Tick);
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(scene->templateId), nullptr, scene->procedure,
                    scene->parameter);
    return 0;
}
