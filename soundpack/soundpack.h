// Installs and uninstalls the sounds a soundpack INI file lists.
#ifndef SONABELL_SOUNDPACK_SOUNDPACK_H
#define SONABELL_SOUNDPACK_SOUNDPACK_H

enum SoundpackResult {
    kPackDone = 0,
    kPackNoSounds = -1,   // TotalSounds reads as 0 (or is corrupt)
    kPackUnreadable = -2, // the file cannot be opened for reading
};

int InstallSoundpack(const char* path);
int UninstallSoundpack(const char* path);

#endif
