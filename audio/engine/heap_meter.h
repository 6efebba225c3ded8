// Counts the bytes the third-party decoders hold on the heap, so a bench or a
// test can show that streaming does not grow with a file's length.
#ifndef SONABELL_AUDIO_ENGINE_HEAP_METER_H
#define SONABELL_AUDIO_ENGINE_HEAP_METER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* SbMeterMalloc(size_t size);
void* SbMeterMallocZeroed(size_t size);
void* SbMeterRealloc(void* block, size_t size);
void SbMeterFree(void* block);

size_t SbMeterCurrentBytes(void);
size_t SbMeterPeakBytes(void);
// Starts a new peak from the current level.
void SbMeterResetPeak(void);

#ifdef __cplusplus
}
#endif

#endif
