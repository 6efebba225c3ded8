// The output state machine and the engine's own thread: one engine per
// session, from FSOUND_Init to FSOUND_Close, and the only owner of the
// device and of its recovery. Every device is opened, started, paused and
// closed on the engine's thread (or on a shutdown thread it starts), never on
// the caller's: the sound library initialises COM on whatever thread opens a
// device, and the caller is the host's.
//
// The output is closed, opening, running, idle (stream stopped after 10 s
// without a sound), lost, or waiting to retry. Callers ask by events and
// wait a bounded time for the answer; nothing here waits on a device.
#ifndef SONABELL_AUDIO_ENGINE_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_OUTPUT_H

#include <stddef.h>

// Starts an engine at the given mixing rate (a running engine keeps its
// device) and waits a bounded time for its first device. True when one
// plays. Without one the engine keeps running and tries again later.
bool SbOutputStart(int mixRate);
bool SbOutputRunning();
// Ends the session within a second whatever the device does; a thread stuck
// in a driver is left behind with its own objects.
void SbOutputStop();

// For a sound about to start: true when a device runs, waiting at most
// until boundMs after startTick for one (an idle stream restarting, or an
// attempt) and never waiting twice.
bool SbOutputEnsure(unsigned long startTick, unsigned long boundMs);
// After the mixer started a sound: true once a device has taken its first
// frames, by boundMs after startTick. Otherwise the sound is withdrawn, so
// it is never heard later, and false.
bool SbOutputConfirmStart(unsigned long startTick, unsigned long boundMs);

// Why the last attempt found no device, for people ("" when one opened).
void SbOutputLastError(char* text, size_t size);

// From the system's endpoint notifications (or the scripted output), any
// thread: the default output changed; a device came, went or changed state.
void SbOutputsDefaultChanged();
void SbOutputsDevicesChanged();

// The module's unload, with no thread of ours left: the process-wide locks go.
void SbOutputUnload();

// For the bench and tests: wake-ups of the engine's thread so far, and the
// shutdowns that outlasted their wait and still run.
long SbOutputWakeups();
long SbOutputStuckShutdowns();

#endif
