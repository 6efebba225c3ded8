#include "host/protocol.h"

#include "audio/player.h"
#include "database/settings.h"
#include "host/host_contract.h"
#include "host/sound_line.h"

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
} // namespace

extern "C" int WINAPI ReceiveNotify(const char* notificationCode, UINT_PTR, UINT_PTR,
                                    char* result) {
    char indexDigits[kIndexFieldWidth + 1];
    if (!notificationCode || !result || !ReadNotificationIndex(notificationCode, indexDigits))
        return 0;
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
    switch (OpenSoundStream(path, soundsEnabled)) {
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
