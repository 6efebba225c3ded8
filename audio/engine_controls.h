// What the engine offers the listener past the old library's seven calls:
// a volume, a short wait line for sounds that should not cut each other off,
// and a chime it synthesises itself. The engine under audio/engine implements
// these; tests link the recording double instead.
#ifndef SONABELL_AUDIO_ENGINE_CONTROLS_H
#define SONABELL_AUDIO_ENGINE_CONTROLS_H

#include "audio/fsound.h"

#include <cstddef>

// Scales everything the engine mixes, the stream heard now included, from the
// next period on. percent is 0..100; larger counts as 100, negative as 0. A
// change ramps over at most one device period, so a slider never clicks.
// Volume 0 mixes silence but streams still play and end as usual.
void SbEngineSetVolume(int percent);
int SbEngineVolume();

// Evens out the loudness of the sound files the engine plays (not the chime):
// each is played with a gain that brings its measured loudness to one
// target, the volume applying on top. Off until turned on; takes effect from
// the next sound started.
void SbEngineSetEvenLoudness(bool on);
bool SbEngineEvenLoudness();

// An open stream's length in milliseconds, as its decoder tells it without
// playing it: from the file's header, or for an MP3 without a tag from its
// frame headers read through. -1 when it cannot be told. Best not asked of a
// stream being heard: the question holds up its decoding meanwhile.
long SbEngineStreamLengthMs(FSOUND_STREAM* stream);

enum SbQueueResult {
    kSbQueueFailed = 0,  // unknown stream, or no output device could be opened
    kSbQueuePlaying = 1, // nothing was heard: it plays now
    kSbQueueWaiting = 2, // it starts when the streams ahead of it have ended
    kSbQueueFull = 3     // maxWaiting streams wait already: it will not be heard
};

// Plays stream when nothing is heard; otherwise it waits behind the stream
// heard now and the streams already waiting, and starts the moment the one
// ahead of it ends, on the engine's own thread. FSOUND_Stream_Play still
// replaces whatever plays and empties the wait line. Closing a waiting stream
// takes it out of the line.
SbQueueResult SbEngineQueueStream(FSOUND_STREAM* stream, int maxWaiting);
// True while stream is heard or waits to be.
bool SbEngineStreamPending(FSOUND_STREAM* stream);

// Replaces whatever is heard with a short synthesised chime at the current
// volume, starting the output first if it is not running. On failure returns
// false and writes why into reason (size bytes, always ended by a zero).
bool SbEnginePlayChime(char* reason, std::size_t size);

#endif
