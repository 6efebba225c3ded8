#include "audio/player.h"

FSOUND_STREAM* currentStream = nullptr;
bool audioReady = false;

void StartAudioEngine() {
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);
}
