#include "recording_engine.h"

#include "audio/engine_controls.h"
#include "audio/fsound.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace recording_engine {
std::vector<std::string> calls;
std::set<std::string> refusedPaths;
bool refusePlay = false;
int openStreams = 0;
std::map<std::string, long> lengthsMs;
std::vector<std::string> controlCalls;
int volume = 100;
bool evenLoudness = false;
FSOUND_STREAM* heard = nullptr;
std::deque<FSOUND_STREAM*> waiting;
bool failQueue = false;
std::string chimeFailure;

namespace {
std::map<FSOUND_STREAM*, int> numbers; // stream -> its #n in the log
std::map<FSOUND_STREAM*, std::string> paths;
int nextNumber = 1;

std::string Name(FSOUND_STREAM* stream) {
    auto found = numbers.find(stream);
    return found == numbers.end() ? std::string("#?") : "#" + std::to_string(found->second);
}
} // namespace

std::string NameOf(FSOUND_STREAM* stream) {
    return Name(stream);
}

void FinishHeard() {
    heard = nullptr;
    if (waiting.empty())
        return;
    heard = waiting.front();
    waiting.pop_front();
    controlCalls.push_back(Name(heard) + " starts");
}

void Reset() {
    // Each test's streams are #1, #2, ... whatever ran before it. Streams an
    // earlier test left open are forgotten, not freed: a player may still
    // hold one, and a new stream must never get its address.
    numbers.clear();
    paths.clear();
    lengthsMs.clear();
    nextNumber = 1;
    calls.clear();
    refusedPaths.clear();
    refusePlay = false;
    openStreams = 0;
    controlCalls.clear();
    volume = 100;
    evenLoudness = false;
    heard = nullptr;
    waiting.clear();
    failQueue = false;
    chimeFailure.clear();
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    return found;
}
} // namespace recording_engine

using namespace recording_engine;

extern "C" {
signed char FSOUND_API FSOUND_SetOutput(int outputType) {
    calls.push_back("FSOUND_SetOutput(" + std::to_string(outputType) + ")");
    return 1;
}
signed char FSOUND_API FSOUND_SetDriver(int driver) {
    calls.push_back("FSOUND_SetDriver(" + std::to_string(driver) + ")");
    return 1;
}
signed char FSOUND_API FSOUND_Init(int mixRate, int channels, unsigned int flags) {
    calls.push_back("FSOUND_Init(" + std::to_string(mixRate) + ", " + std::to_string(channels) +
                    ", " + std::to_string(flags) + ")");
    return 1;
}
FSOUND_STREAM* FSOUND_API FSOUND_Stream_OpenFile(const char* path, unsigned int mode, int length) {
    std::string call = "FSOUND_Stream_OpenFile(" + std::string(path) + ", " + std::to_string(mode) +
                       ", " + std::to_string(length) + ")";
    if (refusedPaths.count(path)) {
        calls.push_back(call + " -> 0");
        return nullptr;
    }
    // Each stream gets its own address so the log can tell them apart.
    auto* stream = reinterpret_cast<FSOUND_STREAM*>(new char[1]);
    numbers[stream] = nextNumber++;
    paths[stream] = path;
    ++openStreams;
    calls.push_back(call + " -> " + Name(stream));
    return stream;
}
int FSOUND_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    calls.push_back("FSOUND_Stream_Play(" + std::to_string(channel) + ", " + Name(stream) + ")" +
                    (refusePlay ? " -> 0" : ""));
    if (refusePlay)
        return 0;
    // Like the engine: whatever played and whatever waited is replaced.
    heard = stream;
    waiting.clear();
    return 1;
}
signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM* stream) {
    calls.push_back("FSOUND_Stream_Close(" + Name(stream) + ")");
    waiting.erase(std::remove(waiting.begin(), waiting.end(), stream), waiting.end());
    if (heard == stream)
        FinishHeard();
    paths.erase(stream);
    if (numbers.erase(stream)) {
        --openStreams;
        delete[] reinterpret_cast<char*>(stream);
    }
    return 1;
}
void FSOUND_API FSOUND_Close(void) {
    calls.push_back("FSOUND_Close()");
}
}

void SbEngineSetVolume(int percent) {
    controlCalls.push_back("SbEngineSetVolume(" + std::to_string(percent) + ")");
    volume = percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

int SbEngineVolume() {
    return volume;
}

long SbEngineStreamLengthMs(FSOUND_STREAM* stream) {
    const auto path = paths.find(stream);
    const auto length = path == paths.end() ? lengthsMs.end() : lengthsMs.find(path->second);
    return length == lengthsMs.end() ? -1 : length->second;
}

void SbEngineSetEvenLoudness(bool on) {
    evenLoudness = on;
}

bool SbEngineEvenLoudness() {
    return evenLoudness;
}

SbQueueResult SbEngineQueueStream(FSOUND_STREAM* stream, int maxWaiting) {
    std::string call =
        "SbEngineQueueStream(" + Name(stream) + ", " + std::to_string(maxWaiting) + ") -> ";
    SbQueueResult result;
    if (failQueue) {
        result = kSbQueueFailed;
        call += "failed";
    } else if (!heard) {
        heard = stream;
        result = kSbQueuePlaying;
        call += "playing";
    } else if (static_cast<int>(waiting.size()) >= maxWaiting) {
        result = kSbQueueFull;
        call += "full";
    } else {
        waiting.push_back(stream);
        result = kSbQueueWaiting;
        call += "waiting";
    }
    controlCalls.push_back(call);
    return result;
}

bool SbEngineStreamPending(FSOUND_STREAM* stream) {
    return stream &&
           (heard == stream || std::find(waiting.begin(), waiting.end(), stream) != waiting.end());
}

bool SbEnginePlayChime(char* reason, std::size_t size) {
    const bool played = chimeFailure.empty();
    controlCalls.push_back(std::string("SbEnginePlayChime() -> ") + (played ? "1" : "0"));
    if (size > 0) {
        std::size_t length = std::min(chimeFailure.size(), size - 1);
        std::memcpy(reason, chimeFailure.data(), length);
        reason[length] = '\0';
    }
    if (played) {
        heard = nullptr;
        waiting.clear();
    }
    return played;
}
