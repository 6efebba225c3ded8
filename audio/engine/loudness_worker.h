// The loudness measurements of the files the engine plays with evening on:
// a worker thread of its own, at low priority, measures them (never the
// host's thread, never the one that keeps the device's ring filled), and a
// cache keeps each for the plug-in's lifetime, keyed by the file's path, size
// and last-write time, so a changed file is measured again. Nothing of it is
// written anywhere.
#ifndef SONABELL_AUDIO_ENGINE_LOUDNESS_WORKER_H
#define SONABELL_AUDIO_ENGINE_LOUDNESS_WORKER_H

// The gain for the file at path: the one measured before, or the one the
// worker measures now if it is done within waitMs; otherwise 1, and the
// measurement is kept for the file's next play. Starts the worker at need.
float SbLoudnessGainFor(const char* path, unsigned long waitMs);
// Ends the worker (the engine's stop), waiting for it at most waitMs; the
// cache stays.
void SbLoudnessStop(unsigned long waitMs);
// At the module's unload, when no worker runs (each holds the module): lets
// the cache and the lock go.
void SbLoudnessUnload();
// For the bench and tests: plays that did not wait for their measurement,
// and measurements made, ever.
long SbLoudnessMisses();
long SbLoudnessMeasurements();

#endif
