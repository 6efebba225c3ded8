// The engine's idle and fault figures: a sound's start after the stream went
// idle, underruns in a 3 s tone, the engine thread's wake-ups while idle, and
// the longest FSOUND_Stream_Play while the scripted output misbehaves.
#include "tools/bench/idle_fault_bench.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "audio/engine/engine_probe.h"
#include "audio/engine/script_output.h"
#include "audio/fsound.h"
#include "tools/bench/bench_common.h"

namespace {

// The engine stops its stream this long after the last sound.
constexpr DWORD kIdleWaitMs = 10600;

bool StartEngine(const char* output) {
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", output);
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    return FSOUND_Init(44100, 32, FSOUND_INIT_GLOBALFOCUS) != 0;
}

double FirstMixMs() {
    double delay = -1;
    for (int wait = 0; wait < 1000 && (delay = SbEngineFirstMixDelayMs()) < 0; ++wait)
        Sleep(1);
    return delay;
}

double LongestPlayDuring(SbScriptFault fault, const std::string& path) {
    if (!StartEngine("script"))
        return -1;
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
    FSOUND_Stream_Play(FSOUND_FREE, s);
    Sleep(200);
    SbScriptArm(fault, 1500, 3);
    double longest = 0;
    for (int i = 0; i < 12; ++i) {
        double t0 = NowMs();
        FSOUND_Stream_Play(FSOUND_FREE, s);
        longest = std::max(longest, NowMs() - t0);
        Sleep(250);
    }
    FSOUND_Close();
    SbScriptArm(kSbScriptNone, 0, 0);
    return longest;
}

} // namespace

void BenchIdleAndFaults(const std::string& mediaDir) {
    std::string tone = mediaDir + "/bench-10s.mp3";
    std::string clip = mediaDir + "/clip.mp3";
    if (!StartEngine("silent"))
        return;
    // Underruns while a long sound plays: the ring must never run dry.
    FSOUND_STREAM* s = FSOUND_Stream_OpenFile(tone.c_str(), 0, 0);
    long underruns0 = SbEngineUnderruns();
    FSOUND_Stream_Play(FSOUND_FREE, s);
    Sleep(3000);
    long underruns = SbEngineUnderruns() - underruns0;
    FSOUND_Stream_Close(s);
    // Idle: no wake-ups, then a sound restarts the stream.
    Sleep(kIdleWaitMs);
    long wakes0 = SbEngineWakeups();
    Sleep(5000);
    double wakesPerMinute = (SbEngineWakeups() - wakes0) * 12.0;
    s = FSOUND_Stream_OpenFile(clip.c_str(), 0, 0);
    double t0 = NowMs();
    int played = FSOUND_Stream_Play(FSOUND_FREE, s);
    double coldCall = NowMs() - t0;
    double coldMix = played ? FirstMixMs() : -1;
    FSOUND_Stream_Close(s);
    FSOUND_Close();

    BenchRow(kPlaceFirstFrame + 5, "cold start after idle (silent device): FSOUND_Stream_Play",
             coldCall, "ms");
    BenchRow(kPlaceFirstFrame + 6, "  the same, start to first mixed frame", coldMix, "ms");
    BenchRow(kPlaceMixing + 5, "underruns in 3 s of a 10 s MP3 (silent device)",
             static_cast<double>(underruns), "");
    BenchRow(kPlaceMixing + 6, "engine wake-ups per minute while idle", wakesPerMinute, "");
    const struct {
        SbScriptFault fault;
        const char* name;
    } faults[] = {{kSbScriptNeverCalls, "opens, never calls back"},
                  {kSbScriptStopsAfter, "stops after 3 callbacks"},
                  {kSbScriptHangsInStop, "stop hangs 1.5 s"},
                  {kSbScriptHangsInOpen, "open hangs 1.5 s"},
                  {kSbScriptDefaultChange, "default device changed"}};
    int place = kPlaceReceiveNotify + 5;
    for (const auto& f : faults) {
        std::string label = std::string("longest FSOUND_Stream_Play, fault: ") + f.name;
        BenchRow(place++, label.c_str(), LongestPlayDuring(f.fault, clip), "ms");
        Sleep(1600); // the hang ends
    }
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
}
