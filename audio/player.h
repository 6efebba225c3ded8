// Resolves a sound index to its file and plays it as the one current stream.
#ifndef SONABELL_AUDIO_PLAYER_H
#define SONABELL_AUDIO_PLAYER_H

#include "audio/fsound.h"

extern FSOUND_STREAM* currentStream; // the one open stream, or null
extern bool audioReady;              // the panel's first play started the engine

// FSOUND_SetOutput(1), FSOUND_SetDriver(0), FSOUND_Init(40100, 32, 2).
void StartAudioEngine();

#endif
