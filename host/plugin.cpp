#include "host/plugin.h"

#include "audio/engine_controls.h"
#include "audio/player.h"
#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/host_contract.h"
#include "host/protocol.h"

#include <cstring>

HINSTANCE moduleHandle = nullptr;
HICON pluginIcon = nullptr;
HICON smallPluginIcon = nullptr;

namespace {
void ReleaseIcons() {
    if (pluginIcon)
        DestroyIcon(pluginIcon);
    if (smallPluginIcon)
        DestroyIcon(smallPluginIcon);
    pluginIcon = nullptr;
    smallPluginIcon = nullptr;
}

void PutText(unsigned char* at, const char* text) {
    std::memcpy(at, text, std::strlen(text) + 1);
}
} // namespace

extern "C" int WINAPI Initialize(UINT_PTR, UINT_PTR, UINT_PTR) {
    StartAudioEngine();
    // A host that initialises twice must not strand the first load's records.
    ClearSoundTable();
    LoadSounds();
    ReleaseIcons();
    pluginIcon = LoadIconA(moduleHandle, MAKEINTRESOURCEA(103));
    smallPluginIcon = static_cast<HICON>(
        LoadImageA(moduleHandle, MAKEINTRESOURCEA(122), IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT));
    LoadSettings();
    SbEngineSetVolume(playbackVolume);
    SbEngineSetEvenLoudness(evenLoudness);
    ForgetReceivedSounds();
    return 1;
}

extern "C" void WINAPI Uninitialize(void) {
    CloseAllStreams();
    FSOUND_Close();
    ClearSoundTable();
    ReleaseIcons();
}

extern "C" int WINAPI PublishInfo(char* name, unsigned char* commandInfo, int* reserved) {
    std::memcpy(name, kPluginName, sizeof kPluginName);
    const int commands = 2;
    std::memcpy(commandInfo, &commands, sizeof commands);
    PutText(commandInfo + kCommandInfoCaptionOffset, "About");
    PutText(commandInfo + kCommandInfoCaptionOffset + kCommandInfoCaptionSize, "Configure");
    PutText(commandInfo + kCommandInfoNameOffset, "xSBabout");
    PutText(commandInfo + kCommandInfoNameOffset + kCommandInfoNameSize, "xSBconfig");
    PutText(commandInfo + kCommandInfoAuxOffset, "");
    PutText(commandInfo + kCommandInfoAuxOffset + kCommandInfoAuxSize, "");
    *reserved = 0;
    return 1;
}

extern "C" int WINAPI ParseTag(UINT_PTR, UINT_PTR, UINT_PTR) {
    return 0;
}
