// Ogg Opus, read through libopusfile: stereo float frames at 48 kHz, the
// encoder's pre-skip and end trimming honoured. The bytes come through the
// caller's functions, so a stream from a file and one from memory are alike.
#ifndef SONABELL_AUDIO_ENGINE_OPUS_SOURCE_H
#define SONABELL_AUDIO_ENGINE_OPUS_SOURCE_H

#include <stddef.h>

constexpr unsigned kSbOpusRate = 48000;

struct SbOpusIo {
    void* context;
    size_t (*read)(void* context, void* out, size_t n);
    bool (*seek)(void* context, long long offset, int whence); // SEEK_SET, SEEK_CUR, SEEK_END
    long long (*tell)(void* context);
};

struct SbOpus;

// Null unless the stream's headers are valid Opus. io must outlive the reader.
SbOpus* SbOpusOpen(const SbOpusIo* io);
// Up to frameCount interleaved stereo frames; fewer only at the end (or where
// the rest cannot be decoded).
size_t SbOpusRead(SbOpus* opus, float* out, size_t frameCount);
bool SbOpusRewind(SbOpus* opus);
// The sound's length in frames at 48 kHz, pre-skip and trimming applied; 0
// when the stream cannot tell it.
unsigned long long SbOpusLength(SbOpus* opus);
void SbOpusClose(SbOpus* opus);

#endif
