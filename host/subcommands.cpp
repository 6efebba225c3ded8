#include "host/subcommands.h"

#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/host_contract.h"
#include "soundpack/diagnostics.h"
#include "ui/ui_entry.h"

#include <cstring>

int RunSubCommand(const char* keyword, char* result) {
    if (std::strcmp(keyword, "about") == 0)
        return RunAboutDialog() ? 1 : 0;
    if (std::strcmp(keyword, "config") == 0)
        return RunConfigPanel(result, kResultCapacity) ? 1 : 0;
    if (std::strcmp(keyword, "options") == 0) {
        if (!RunOptionsDialog())
            return 0;
    } else if (std::strcmp(keyword, "reload") == 0) {
        ClearSoundTable();
        LoadSounds();
    } else if (std::strcmp(keyword, "enable") == 0) {
        // In memory only: the next Initialize brings back the stored setting.
        soundsEnabled = true;
    } else if (std::strcmp(keyword, "disable") == 0) {
        soundsEnabled = false;
    } else if (std::strcmp(keyword, "DumpDatabase") == 0) {
        ShowDatabaseDump(-1);
    } else {
        return 0;
    }
    result[0] = '\0';
    return 1;
}
