// How long the configuration panel takes to open with a full table of 999
// sounds: it is rebuilt after every change, so this is what a user waits for
// after each add, edit or delete. Prints milliseconds per opening.
#include "database/sound_table.h"
#include "host/plugin.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

int main() {
    moduleHandle = GetModuleHandleA(nullptr);
    pluginIcon = LoadIconA(moduleHandle, MAKEINTRESOURCEA(IDI_PLUGIN));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&classes);
    for (int i = 1; i <= kTableCapacity; ++i) {
        char index[8], command[16], file[24];
        wsprintfA(index, "%d", i);
        wsprintfA(command, "sound%d", i);
        wsprintfA(file, "\\sound%d.mp3", i);
        SoundRecord* record = CreateSoundRecord(true);
        soundTable.slots[i - 1] = record;
        SetRecordText(&record->indexText, index);
        SetRecordText(&record->command, command);
        SetRecordText(&record->filename, file);
        SetRecordText(&record->message, "A default message of ordinary length");
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        HWND panel = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(IDD_CONFIG_PANEL), nullptr,
                                        ConfigPanelProc, 0);
        UpdateWindow(panel);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        QueryPerformanceCounter(&end);
        DestroyWindow(panel);
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
    }
    std::sort(times.begin(), times.end());
    std::printf("panel with %d sounds opens in %.1f ms (median of %zu; fastest %.1f ms)\n",
                soundTable.count, times[times.size() / 2], times.size(), times.front());
    ClearSoundTable();
    return 0;
}
