// A test double for the audio engine: every call is logged as text, and
// opens and starts can be made to fail. The listener controls (volume, wait
// line, chime) are logged apart, so the seven calls' log reads as before.
#ifndef SONABELL_TESTS_RECORDING_ENGINE_H
#define SONABELL_TESTS_RECORDING_ENGINE_H

#include "audio/fsound.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace recording_engine {
// "FSOUND_SetOutput(1)", "FSOUND_Stream_OpenFile(C:\x.mp3, 0, 0) -> #1", ...
extern std::vector<std::string> calls;
extern std::set<std::string> refusedPaths; // OpenFile returns null for these
extern bool refusePlay;                    // Stream_Play returns 0
extern int openStreams;                    // streams opened and not yet closed
// What SbEngineStreamLengthMs answers for a stream opened from the path; -1
// for the others.
extern std::map<std::string, long> lengthsMs;

// "SbEngineSetVolume(50)", "SbEngineQueueStream(#2, 3) -> waiting",
// "SbEnginePlayChime() -> 1", "#2 starts" (a waiting stream's turn came).
extern std::vector<std::string> controlCalls;
extern int volume;           // as last set, 0..100
extern bool evenLoudness;    // as last set
extern FSOUND_STREAM* heard; // started by Stream_Play or from the line
extern std::deque<FSOUND_STREAM*> waiting;
extern bool failQueue;           // QueueStream answers kSbQueueFailed
extern std::string chimeFailure; // non-empty: the chime fails with this reason
// The stream heard now ends; the first one waiting starts.
void FinishHeard();
// "#n" of a stream, as the logs name it.
std::string NameOf(FSOUND_STREAM* stream);

void Reset();
// The calls whose text starts with prefix.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
} // namespace recording_engine

#endif
