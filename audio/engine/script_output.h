// The scripted output of the test build (never in the product): a device
// that consumes the mixer's frames in real time, 10 ms a period, keeps what
// it consumed for the test to judge, and misbehaves on demand as a real
// driver can. Selected with SONABELL_AUDIO_OUTPUT=script.
#ifndef SONABELL_AUDIO_ENGINE_SCRIPT_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_SCRIPT_OUTPUT_H

#include <stddef.h>

#include <vector>

enum SbScriptFault {
    kSbScriptNone,
    kSbScriptNeverCalls,    // devices opened meanwhile open but never call back
    kSbScriptStopsAfter,    // every device stops calling back after `callbacks` more
    kSbScriptHangsInStop,   // a device closed meanwhile takes until the fault ends
    kSbScriptHangsInOpen,   // an open meanwhile takes until the fault ends
    kSbScriptDefaultChange, // after `callbacks` more the default device changes: the
                            // device that plays stops, the system reports the change
};

// Arms a fault for the next durationMs. Every fault but kSbScriptStopsAfter
// and kSbScriptDefaultChange silences the devices open now, as a driver that
// fails does.
void SbScriptArm(SbScriptFault fault, unsigned long durationMs, int callbacks);

// What the scripted devices consumed since the last take: interleaved stereo
// frames at the mixing rate, and per period when (GetTickCount) and where.
struct SbScriptPeriod {
    unsigned long tick;
    size_t firstFrame;
    size_t frames;
};
void SbScriptTake(std::vector<float>* frames, std::vector<SbScriptPeriod>* periods);

// Scripted devices open now (opened and not yet closed).
int SbScriptOpenDevices();

#endif
