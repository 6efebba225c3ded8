#include "host_side.h"

#include "clean_state.h"

#include <gtest/gtest.h>

namespace testing_support {

const std::string kMissingLine = "\x03"
                                 "7Sonabell Plugin: Sorry you do not have the file requested "
                                 "installed on your computer";
const std::string kNotOpenedLine = "\x03"
                                   "7Sonabell Plugin: Sorry, there was an error opening the sound "
                                   "file";
const std::string kNotStartedLine = "\x03"
                                    "7Sonabell Plugin: Sorry, the sound could not be played :(";

void WriteSwitches(bool sounds, bool toasts) {
    CreateSettingsKey();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key));
    const BYTE soundsByte = sounds ? 1 : 0, toastsByte = toasts ? 1 : 0;
    RegSetValueExA(key, "SoundsEnabled", 0, REG_BINARY, &soundsByte, 1);
    RegSetValueExA(key, "ToastsEnabled", 0, REG_BINARY, &toastsByte, 1);
    RegCloseKey(key);
}

} // namespace testing_support
