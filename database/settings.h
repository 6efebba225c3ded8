// The user's switches and listening controls, kept per user under
// HKEY_CURRENT_USER, each value one byte.
#ifndef SONABELL_DATABASE_SETTINGS_H
#define SONABELL_DATABASE_SETTINGS_H

#define SONABELL_SETTINGS_KEY "Software\\tinderwick_ software\\Sonabell"
#define SONABELL_SETTINGS_KEY_READ "software\\tinderwick_ software\\Sonabell"

extern bool soundsEnabled; // received sounds are played
extern bool toastsEnabled; // a missing file is reported by a toast

// The listener's controls. Until a user sets them the plug-in plays as it
// always did: full volume, each sound replacing the one before, no limit.
constexpr int kFullVolume = 100;
constexpr int kMostSoundsPerMinute = 255;
extern int playbackVolume;   // "Volume": 0..100 percent
extern bool letSoundsFinish; // "LetFinish": a received sound waits its turn
extern int soundsPerMinute;  // "SoundsPerMinute": 0 = no limit, else 1..255
extern bool evenLoudness;    // "EvenLoudness": sound files play at one loudness

// Reads the flags and the listener's controls; a missing key or value reads
// as its default and creates nothing.
void LoadSettings();
// Stores one flag, creating the settings key when it is missing.
void StoreSetting(const char* valueName, bool on);
// Stores one byte the same way: the volume and the sounds a minute.
void StoreSettingByte(const char* valueName, unsigned char value);

#endif
