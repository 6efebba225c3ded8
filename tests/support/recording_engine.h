// A test double for the audio engine: every call is logged as text, and
// opens and starts can be made to fail.
#ifndef SONABELL_TESTS_RECORDING_ENGINE_H
#define SONABELL_TESTS_RECORDING_ENGINE_H

#include <set>
#include <string>
#include <vector>

namespace recording_engine {
// "FSOUND_SetOutput(1)", "FSOUND_Stream_OpenFile(C:\x.mp3, 0, 0) -> #1", ...
extern std::vector<std::string> calls;
extern std::set<std::string> refusedPaths; // OpenFile returns null for these
extern bool refusePlay;                    // Stream_Play returns 0
extern int openStreams;                    // streams opened and not yet closed
void Reset();
// The calls whose text starts with prefix.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
} // namespace recording_engine

#endif
