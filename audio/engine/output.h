// The output device and the engine's own thread. Every library context and
// device is created, started and shut down on that thread (or on a helper
// thread it starts), never on the caller's: the sound library initialises
// COM on whatever thread opens a device, and the caller is the host's.
//
// The thread keeps the device running from the start, decodes ahead for the
// mixer, watches the device (a callback that stops coming, a stop nobody
// asked for) and opens the system's current output again when it is lost: at
// once, then less and less often while none opens, and whenever a sound
// needs one.
#ifndef SONABELL_AUDIO_ENGINE_OUTPUT_H
#define SONABELL_AUDIO_ENGINE_OUTPUT_H

#include <stddef.h>

// How the next device is chosen: the FSOUND_OUTPUT_* type and the driver
// number the plug-in asked for; SONABELL_AUDIO_OUTPUT overrides both.
void SbOutputSetType(int outputType);
void SbOutputSetDriver(int driverIndex);

// Starts the engine at the given mixing rate (once; a running engine keeps
// its device) and waits a bounded time for a device. True when one plays.
// Without one the engine keeps running and tries again later.
bool SbOutputStart(int mixRate);
bool SbOutputRunning();
// Stops the engine within a second whatever the device does; a device
// thread that hangs is left behind safely.
void SbOutputStop();

// True when a device plays or one could be opened now. Bounded: at worst a
// few hundred milliseconds when the device just died, and retries are
// rate-limited, so a chat without any device costs nothing noticeable.
bool SbOutputEnsure();

// Why the last device could not be opened, for people ("" when it could).
void SbOutputLastError(char* text, size_t size);

#endif
