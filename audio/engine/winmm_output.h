// A WinMM (waveOut) output of the engine's own. The sound library's WinMM
// backend takes no buffers shorter than two of 40 ms, and a sound started
// behind them is heard late; this one keeps a few short buffers queued and
// refills each as the device hands it back, woken by the device itself
// rather than by a timer. Of the same shape as the DirectSound output.
#ifndef SONABELL_AUDIO_ENGINE_WINMM_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_WINMM_OUTPUT_H

#include <stddef.h>

struct SbWmOutput;

// Fills frameCount interleaved stereo float frames for the device.
typedef void (*SbWmRender)(void* user, float* frames, size_t frameCount);

// Opens waveOut device number deviceIndex (0, or one that does not exist:
// the system's wave mapper, which follows the default device and converts
// any rate) at rate and starts feeding it from render on a thread of its
// own. Null, with the reason in error, when it cannot.
SbWmOutput* SbWmOpen(int deviceIndex, unsigned rate, SbWmRender render, void* user, char* error,
                     size_t errorSize);
// True once the device reported an error it did not recover from.
bool SbWmFailed(SbWmOutput* output);
// Stops the feeding thread and lets the device go, without waiting for what
// is queued to play. May wait on the system's audio stack: call it where a
// wait is harmless.
void SbWmClose(SbWmOutput* output);
// Stops the device and the feeder's wake-ups while nothing is to be heard
// (paused true), and starts them again. Rendering stops while paused.
void SbWmPause(SbWmOutput* output, bool paused);

// A function of winmm.dll, looked up at run time (the DLL imports nothing
// of it, as XP requires of an optional part). winmm.dll stays loaded once
// loaded: Wine's leaves handles behind each time it is unloaded.
void* SbWinmmProc(const char* name);

#endif
