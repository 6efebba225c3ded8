// Resolves a sound index to its file and plays it: as the one current stream,
// or, when the listener lets sounds finish, in a short line behind the one
// that is heard.
#ifndef SONABELL_AUDIO_PLAYER_H
#define SONABELL_AUDIO_PLAYER_H

#include "audio/fsound.h"

#include <string>

extern FSOUND_STREAM* currentStream; // the stream opened last, or null
extern bool audioReady;              // the panel's first play started the engine

enum PlayResult {
    kPlayDone = 0,
    kPlayMissingFile = -1, // the file cannot be opened for reading
    kPlayNotOpened = -2,   // the engine did not open it; currentStream is null
    kPlayNotStarted = -3,  // open, but the engine did not start it
    kPlayLineFull = -4,    // the wait line is full: dropped, nothing to report
};

// Sounds that may wait behind the one heard when sounds are let finish.
constexpr int kMostWaitingSounds = 3;

// FSOUND_SetOutput(1), FSOUND_SetDriver(0), FSOUND_Init(40100, 32, 2).
void StartAudioEngine();

// The folder sounds are played from: the host's plug-in directory, then
// "\Sonabell\".
std::string SoundFolder();
// The host's plug-in directory, "\Sonabell\", then the file of the record
// whose index text is indexDigits (letter case ignored), else indexDigits
// followed by ".mp3".
std::string ResolveSoundPath(const char* indexDigits);
// The existence test: the file opens for reading.
bool SoundFileExists(const std::string& path);
// Closes the current stream (and any the line still holds), opens path as
// the new one, starts it if asked.
int OpenSoundStream(const std::string& path, bool playNow);
// A received sound that must not cut off the one heard: it plays now when
// nothing is heard, else waits its turn; with kMostWaitingSounds waiting it
// is dropped (kPlayLineFull). With playNow false the file is only opened and
// closed again, so a file the engine refuses is still reported, and whatever
// is heard or waits goes on.
int QueueSoundStream(const std::string& path, bool playNow);
// Closes every stream the player holds: the current one first, then the
// ones in the line, newest first.
void CloseAllStreams();
// The panel's Play: index 0..999, force plays even with sounds switched off.
int PlaySoundByIndex(int index, bool force);

#endif
