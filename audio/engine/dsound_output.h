// A DirectSound output of the engine's own. The sound library's DirectSound
// backend fills its whole buffer ahead of the play cursor (two 30 ms periods
// at the least), and the system's mixer keeps its own queue behind that, so
// a sound started there is heard a tenth of a second late or more. This one
// keeps a short, steady amount queued ahead of the write cursor instead, and
// it never waits for a dead device to drain when it stops.
//
// The buffer loops, so whatever a late feeder has not overwritten would be
// heard again a lap later. Everything the play cursor has passed is turned
// to silence, and the feeder follows the play cursor: a feeder late by more
// than what it queued (a busy machine) leaves a gap, never an echo.
#ifndef SONABELL_AUDIO_ENGINE_DSOUND_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_DSOUND_OUTPUT_H

#include <stddef.h>

struct SbDsOutput;

// Fills frameCount interleaved stereo float frames for the device.
typedef void (*SbDsRender)(void* user, float* frames, size_t frameCount);

// Opens DirectSound device number deviceIndex (0, or one that does not
// exist: the system's default) at rate and starts feeding it from render on
// a thread of its own. Null, with the reason in error, when it cannot.
SbDsOutput* SbDsOpen(int deviceIndex, unsigned rate, SbDsRender render, void* user, char* error,
                     size_t errorSize);
// True once the device reported an error it did not recover from.
bool SbDsFailed(SbDsOutput* output);
// Stops the feeding thread and lets the device go. May wait on the system's
// audio stack: call it where a wait is harmless.
void SbDsClose(SbDsOutput* output);

// Stops the buffer and the feeder's wake-ups while nothing is to be heard
// (paused true), and starts them again. Rendering stops while paused.
void SbDsPause(SbDsOutput* output, bool paused);

// Tests only (never called by the product): the feeder's next pass starts
// ms late, as on a machine too busy to run it.
void SbDsDelayFeederForTest(unsigned ms);

#endif
