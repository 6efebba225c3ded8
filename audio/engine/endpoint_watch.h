// Windows' endpoint notifications (Vista and later): a change of the default
// output, a device that comes, goes or changes state. Each is passed on to
// the output state machine (SbOutputsDefaultChanged, SbOutputsDevicesChanged),
// which handles it on the engine's thread. Loaded at run time: on XP there is
// nothing to register and the engine relies on its retries.
#ifndef SONABELL_AUDIO_ENGINE_ENDPOINT_WATCH_H
#define SONABELL_AUDIO_ENGINE_ENDPOINT_WATCH_H

struct SbEndpointWatch;

// On a thread with COM initialised; null where the system has none.
SbEndpointWatch* SbEndpointWatchStart();
// On the same thread; no notification arrives after it returns.
void SbEndpointWatchStop(SbEndpointWatch* watch);

#endif
