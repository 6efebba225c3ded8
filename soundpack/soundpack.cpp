#include "soundpack/soundpack.h"

// Not built yet.
int InstallSoundpack(const char*) { return kPackUnreadable; }
int UninstallSoundpack(const char*) { return kPackUnreadable; }
