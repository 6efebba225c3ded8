// Read-only views of the running engine for the bench and the tests.
#ifndef SONABELL_AUDIO_ENGINE_ENGINE_PROBE_H
#define SONABELL_AUDIO_ENGINE_ENGINE_PROBE_H

#include "audio/fsound.h"

// True while stream is the one heard and has frames left.
bool SbEngineIsPlaying(FSOUND_STREAM* stream);
// Milliseconds from the last successful FSOUND_Stream_Play to the device
// period that mixed its first frames; negative until that period has run.
double SbEngineFirstMixDelayMs();
// The rate the device mixes at; 0 when the engine is not running.
unsigned SbEngineMixRate();
// Periods the device found the decode-ahead ring dry mid-stream, ever.
long SbEngineUnderruns();
// Times the engine's thread woke up, ever (none while idle).
long SbEngineWakeups();
// Device shutdowns that outlasted their wait and still run (at most one).
long SbEngineStuckShutdowns();

#endif
