#include "recording_engine.h"

#include "audio/fsound.h"

#include <map>

namespace recording_engine {
std::vector<std::string> calls;
std::set<std::string> refusedPaths;
bool refusePlay = false;
int openStreams = 0;

namespace {
std::map<FSOUND_STREAM*, int> numbers; // stream -> its #n in the log
int nextNumber = 1;

std::string Name(FSOUND_STREAM* stream) {
    auto found = numbers.find(stream);
    return found == numbers.end() ? std::string("#?") : "#" + std::to_string(found->second);
}
} // namespace

void Reset() {
    calls.clear();
    refusedPaths.clear();
    refusePlay = false;
    openStreams = 0;
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
    ++openStreams;
    calls.push_back(call + " -> " + Name(stream));
    return stream;
}
int FSOUND_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    calls.push_back("FSOUND_Stream_Play(" + std::to_string(channel) + ", " + Name(stream) + ")" +
                    (refusePlay ? " -> 0" : ""));
    return refusePlay ? 0 : 1;
}
signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM* stream) {
    calls.push_back("FSOUND_Stream_Close(" + Name(stream) + ")");
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
