// The streams and what the device hears of them. The engine's own thread
// decodes the stream heard ahead of the device into a small ring of frames;
// the device's callback copies from the ring and applies the volume, so a
// slow disk or a decoder's bad moment never makes the device wait. Should the
// engine's thread fall behind all the same (a machine busy with other work),
// the callback plays silence for what is missing and counts an underrun.
//
// Locks: decodeLock is held while a stream's source is read, so a stream can
// be closed safely; mixLock guards everything else and is the only lock the
// device's callback takes, for a copy at most. Whoever needs both takes
// decodeLock first.
#ifndef SONABELL_AUDIO_ENGINE_MIXER_H
#define SONABELL_AUDIO_ENGINE_MIXER_H

#include <stddef.h>

#include "audio/engine/stream_source.h"
#include "audio/engine_controls.h"
#include "audio/fsound.h"

// Streams: any thread, whether or not the engine runs.
FSOUND_STREAM* SbMixerOpen(SbSource* source); // takes the source; null when out of memory
bool SbMixerClose(FSOUND_STREAM* handle);     // false for an unknown handle
void SbMixerCloseAll();
// The stream's length in milliseconds; -1 for an unknown handle or when its
// source cannot tell.
long SbMixerLengthMs(FSOUND_STREAM* handle);
// Evening out the loudness. The file's path, kept for its measurement; the
// gain a stream not yet heard plays at, its peaks limited to the ceiling.
bool SbMixerSetPath(FSOUND_STREAM* handle, const char* path);
bool SbMixerPath(FSOUND_STREAM* handle, char* path, size_t size); // false: none, or too long
void SbMixerSetGain(FSOUND_STREAM* handle, float gain);

// Starting sounds. Each fails while the engine does not run.
// Replaces whatever is heard and empties the wait line; the stream's first
// block is decoded before this returns, so the device's next period has it.
bool SbMixerPlay(FSOUND_STREAM* handle);
SbQueueResult SbMixerQueue(FSOUND_STREAM* handle, int maxWaiting);
bool SbMixerPlayChime();
bool SbMixerIsHeard(FSOUND_STREAM* handle);
bool SbMixerIsPending(FSOUND_STREAM* handle);
double SbMixerFirstMixDelayMs();

void SbMixerSetVolume(int percent);
int SbMixerVolume();

// The engine's side. A session is one run of the engine, from its start to
// its stop; a device attaches to the session that opened it, so a device
// left behind by an earlier session can never be heard in a later one.
// wakeEvent is set when the ring runs low or a sound starts, mixedEvent when
// a sound started has reached a device; both belong to the engine, which
// keeps them until after the stop.
void SbMixerStart(unsigned rate, unsigned session, void* wakeEvent, void* mixedEvent);
void SbMixerStop();   // ends everything heard; nothing starts until the next start
void SbMixerUnload(); // the module's unload, with no thread of ours left: the locks go
unsigned SbMixerRate();
bool SbMixerAttach(const void* device, unsigned session);
void SbMixerDetach(const void* device);
void SbMixerDropHeard(); // the device was lost: what plays and waits ends unheard
// Before a stop: the sound heard fades out over the device's next period
// (no click), silence after. Waits for it at most maxWaitMs; true when done.
bool SbMixerFadeOut(unsigned long maxWaitMs);
void SbMixerDecodeAhead(); // the engine's thread: tops the ring up
bool SbMixerSounding();    // something is heard or waits to be
long SbMixerSoundsMixed(); // sounds started that reached a device, ever
long SbMixerUnderruns();   // periods the ring ran dry mid-stream, ever
// The sound started last has reached a device (or none is pending).
bool SbMixerStartMixed();
// If the sound started last has not reached a device yet, it never will:
// everything heard or waiting ends. True when it was withdrawn.
bool SbMixerWithdrawUnmixed();

// The device's callback: frameCount stereo float frames into out; silence
// unless device is the attached one.
void SbMixerRender(const void* device, float* out, size_t frameCount);

#endif
