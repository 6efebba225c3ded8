// A 64-bit millisecond tick for Windows versions whose kernel32 has no
// GetTickCount64 (XP), and the arithmetic behind it.
#ifndef SONABELL_HOST_TICK_COUNT_H
#define SONABELL_HOST_TICK_COUNT_H

// Milliseconds in `count` ticks of a counter running at `frequency` ticks a
// second. Multiplying first would overflow within hours on a counter that runs
// at the processor's clock; whole seconds and the remainder are taken apart.
inline unsigned long long MillisecondsFromCounter(unsigned long long count,
                                                  unsigned long long frequency) {
    if (frequency == 0)
        return 0;
    return count / frequency * 1000 + count % frequency * 1000 / frequency;
}

#ifdef _WIN32
// GetTickCount64 where the system has it; elsewhere the performance counter,
// which never wraps and which every XP machine has.
unsigned long long __stdcall TickCount64();
// The performance counter in milliseconds, the stand-in on XP.
unsigned long long __stdcall CounterMilliseconds();
#endif

#endif
