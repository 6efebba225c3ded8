// Installs and uninstalls the sounds a soundpack INI file lists.
#ifndef SONABELL_SOUNDPACK_SOUNDPACK_H
#define SONABELL_SOUNDPACK_SOUNDPACK_H

enum SoundpackResult {
    kPackDone = 0,
    kPackNoSounds = -1,   // TotalSounds reads as 0 (or is corrupt)
    kPackUnreadable = -2, // the file cannot be opened for reading
};

// Section names are built in 11 characters: "Sound99999" is the last one.
constexpr int kPackMaxSounds = 99999;

// What the soundpack dialog says when Install refuses a pack whole.
extern const char kPackUnreadableText[];
extern const char kPackNoSoundsText[];

int InstallSoundpack(const char* path);
int UninstallSoundpack(const char* path);

#endif
