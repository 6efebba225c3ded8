// Which outputs the engine opens, in which order: chosen by the plug-in
// (FSOUND_SetOutput, FSOUND_SetDriver) or by the SONABELL_AUDIO_OUTPUT
// override. Read afresh for every attempt; any thread.
#ifndef SONABELL_AUDIO_ENGINE_OUTPUT_CHOICE_H
#define SONABELL_AUDIO_ENGINE_OUTPUT_CHOICE_H

#include <stddef.h>

#include "audio/engine/output_ops.h"

struct SbChoice {
    const SbOutputOps* outputs[3] = {};
    int count = 0;
    int driverIndex = 0;
    bool silent = false;        // the silent device: nothing to lose, never reopened
    char capturePath[260] = ""; // capture:<path>: what is mixed goes to this WAV file
};

void SbChoiceSetType(int outputType);
void SbChoiceSetDriver(int driverIndex);
SbChoice SbChoiceNow();
// Two choices open the same outputs the same way.
bool SbChoiceSame(const SbChoice& a, const SbChoice& b);
// True when the outputs follow the system's default device.
bool SbChoiceFollowsDefault(const SbChoice& choice);

// The last choice that found no device, and when (an empty choice: none).
// A host that initialises the plug-in again at once does not try the same
// outputs again at once.
void SbChoiceNoteFailed(const SbChoice& choice);
bool SbChoiceFailedJustNow(const SbChoice& choice, unsigned long withinMs);

// Why the last attempt found no device, for people ("" when one opened).
void SbChoiceSetError(const char* text);
void SbChoiceUnload(); // the module's unload, with no thread of ours left
void SbChoiceLastError(char* text, size_t size);

#endif
