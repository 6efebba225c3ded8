// Keeps a contact who floods the chat with sounds from being heard more than
// a set number of times a minute. Pure code with the time passed in, so the
// rules can be checked natively with any clock.
#ifndef SONABELL_HOST_FLOOD_GATE_H
#define SONABELL_HOST_FLOOD_GATE_H

#include <cstdint>

constexpr uint64_t kFloodWindowMs = 60000;
// The largest limit a user can set; the gate remembers that many sounds.
constexpr int kFloodMemory = 255;

struct FloodGate {
    uint64_t admitted[kFloodMemory]; // when each let-through sound arrived, oldest first
    int first;                       // ring position of the oldest
    int count;
    bool warned;
    uint64_t lastWarning; // when the user was last told about dropped sounds
};

enum FloodVerdict {
    kFloodPass,        // play it
    kFloodDrop,        // not played; the user was told within the last minute
    kFloodDropAndWarn, // not played; tell the user now
};

void ResetFloodGate(FloodGate& gate);
// One received sound at nowMs (a clock that never runs backwards). With
// limit 0 every sound passes; otherwise a sound passes while fewer than limit
// sounds passed in the last minute. Every passing sound is remembered, so a
// limit set in mid-flood counts the minute already gone by. A clock that
// jumped back forgets what it remembered.
FloodVerdict AdmitToFloodGate(FloodGate& gate, int limit, uint64_t nowMs);

// Extends a 32-bit millisecond tick that wraps every 49.7 days into a clock
// that does not, as long as it is read at least once per wrap.
struct TickClock {
    uint32_t lastTick;
    uint64_t wraps;
    bool started;
};
uint64_t ExtendTick(TickClock& clock, uint32_t tick);

#endif
