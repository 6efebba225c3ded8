// Writes what the silent device mixes to a 16-bit PCM WAV file. The header's
// sizes are rewritten after every block, so the file stays readable even if
// the process dies while it runs.
#ifndef SONABELL_AUDIO_ENGINE_CAPTURE_WAV_H
#define SONABELL_AUDIO_ENGINE_CAPTURE_WAV_H

#include <stddef.h>

struct SbCapture;

SbCapture* SbCaptureOpen(const char* path, unsigned rate);
// Appends interleaved stereo float frames, clipped to 16 bits.
void SbCaptureWrite(SbCapture* capture, const float* frames, size_t frameCount);
void SbCaptureClose(SbCapture* capture);

#endif
