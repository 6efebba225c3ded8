// Resolves a sound index to its file and plays it as the one current stream.
#ifndef SONABELL_AUDIO_PLAYER_H
#define SONABELL_AUDIO_PLAYER_H

#include "audio/fsound.h"

#include <string>

extern FSOUND_STREAM* currentStream; // the one open stream, or null
extern bool audioReady;              // the panel's first play started the engine

enum PlayResult {
    kPlayDone = 0,
    kPlayMissingFile = -1, // the file cannot be opened for reading
    kPlayNotOpened = -2,   // the engine did not open it; currentStream is null
    kPlayNotStarted = -3,  // open, but the engine did not start it
};

// FSOUND_SetOutput(1), FSOUND_SetDriver(0), FSOUND_Init(40100, 32, 2).
void StartAudioEngine();

// The host's plug-in directory, "\Sonabell\", then the file of the record
// whose index text is indexDigits (letter case ignored), else indexDigits
// followed by ".mp3".
std::string ResolveSoundPath(const char* indexDigits);
// The existence test: the file opens for reading.
bool SoundFileExists(const std::string& path);
// Closes the current stream, opens path as the new one, starts it if asked.
int OpenSoundStream(const std::string& path, bool playNow);
// The panel's Play: index 0..999, force plays even with sounds switched off.
int PlaySoundByIndex(int index, bool force);

#endif
