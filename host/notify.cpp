#include "host/protocol.h"

#include "audio/player.h"
#include "database/settings.h"
#include "host/flood_gate.h"
#include "host/host_contract.h"
#include "host/sound_line.h"

#include <cstdio>
#include <string>

namespace {
const char kMissingText[] = "Sorry you do not have the file requested installed on your computer";
const char kToastTitle[] = "Sonabell Plugin";
const char kMissingLine[] = "\x03"
                            "7Sonabell Plugin: Sorry you do not have the file requested "
                            "installed on your computer";
const char kNotOpenedLine[] = "\x03"
                              "7Sonabell Plugin: Sorry, there was an error opening the sound file";
const char kNotStartedLine[] = "\x03"
                               "7Sonabell Plugin: Sorry, the sound could not be played :(";

FloodGate floodGate = {};
TickClock floodClock = {};

// Whether the flood limit lets this received sound be played. A sound held
// back is answered with nothing, so a flood never becomes a flood of error
// lines; at most once a minute a toast says why sounds went unheard.
bool PassesFloodLimit() {
    // GetTickCount, not GetTickCount64: the plug-in must load on XP.
    const uint64_t now = ExtendTick(floodClock, GetTickCount());
    const FloodVerdict verdict = AdmitToFloodGate(floodGate, soundsPerMinute, now);
    if (verdict == kFloodDropAndWarn && toastsEnabled) {
        char text[80];
        std::snprintf(text, sizeof text, "Some sounds were not played: more than %d a minute.",
                      soundsPerMinute);
        DisplayToast(text, kToastTitle, 0, FALSE);
    }
    return verdict == kFloodPass;
}
} // namespace

void ForgetReceivedSounds() {
    ResetFloodGate(floodGate);
}

extern "C" int WINAPI ReceiveNotify(const char* notificationCode, UINT_PTR, UINT_PTR,
                                    char* result) {
    char indexDigits[kIndexFieldWidth + 1];
    if (!notificationCode || !result || !ReadNotificationIndex(notificationCode, indexDigits))
        return 0;
    if (!PassesFloodLimit()) {
        WriteBoundedText(result, kResultCapacity, "");
        return 1;
    }
    std::string path = ResolveSoundPath(indexDigits);
    // A missing file leaves the sound that is playing alone.
    if (!SoundFileExists(path)) {
        if (toastsEnabled) {
            DisplayToast(kMissingText, kToastTitle, 0, FALSE);
            WriteBoundedText(result, kResultCapacity, "");
        } else {
            WriteBoundedText(result, kResultCapacity, kMissingLine);
        }
        return 1;
    }
    // Initialize started the engine; a received sound never starts it.
    const int played = letSoundsFinish ? QueueSoundStream(path, soundsEnabled)
                                       : OpenSoundStream(path, soundsEnabled);
    switch (played) {
    case kPlayNotOpened:
        WriteBoundedText(result, kResultCapacity, kNotOpenedLine);
        break;
    case kPlayNotStarted:
        WriteBoundedText(result, kResultCapacity, kNotStartedLine);
        break;
    default:
        WriteBoundedText(result, kResultCapacity, "");
        break;
    }
    return 1;
}
