#include "host/flood_gate.h"

void ResetFloodGate(FloodGate& gate) {
    gate.first = 0;
    gate.count = 0;
    gate.warned = false;
    gate.lastWarning = 0;
}

namespace {
uint64_t Oldest(const FloodGate& gate) {
    return gate.admitted[gate.first];
}

void DropOldest(FloodGate& gate) {
    gate.first = (gate.first + 1) % kFloodMemory;
    --gate.count;
}

void Remember(FloodGate& gate, uint64_t nowMs) {
    if (gate.count == kFloodMemory)
        DropOldest(gate);
    gate.admitted[(gate.first + gate.count) % kFloodMemory] = nowMs;
    ++gate.count;
}
} // namespace

FloodVerdict AdmitToFloodGate(FloodGate& gate, int limit, uint64_t nowMs) {
    if (gate.count > 0 && gate.admitted[(gate.first + gate.count - 1) % kFloodMemory] > nowMs)
        ResetFloodGate(gate);
    if (gate.warned && gate.lastWarning > nowMs)
        gate.warned = false;
    while (gate.count > 0 && nowMs - Oldest(gate) >= kFloodWindowMs)
        DropOldest(gate);
    if (limit <= 0 || gate.count < limit) {
        Remember(gate, nowMs);
        return kFloodPass;
    }
    if (gate.warned && nowMs - gate.lastWarning < kFloodWindowMs)
        return kFloodDrop;
    gate.warned = true;
    gate.lastWarning = nowMs;
    return kFloodDropAndWarn;
}

uint64_t ExtendTick(TickClock& clock, uint32_t tick) {
    if (clock.started && tick < clock.lastTick)
        ++clock.wraps;
    clock.started = true;
    clock.lastTick = tick;
    return (clock.wraps << 32) | tick;
}
