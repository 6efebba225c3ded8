#include "audio/player.h"

FSOUND_STREAM* currentStream = nullptr;
bool audioReady = false;

void StartAudioEngine() {
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);
}

// Not built yet: playback reports every file as missing.
std::string ResolveSoundPath(const char* indexDigits) { return std::string(indexDigits) + ".mp3"; }
bool SoundFileExists(const std::string&) { return false; }
int OpenSoundStream(const std::string&, bool) { return kPlayNotOpened; }
int PlaySoundByIndex(int, bool) { return kPlayMissingFile; }
