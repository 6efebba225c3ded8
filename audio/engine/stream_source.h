// A sound file opened for streaming: recognises the format from the content,
// decodes a block at a time from disk and hands out stereo float frames at the
// rate the output asks for. Holds no Windows state, so it also builds natively
// for the sanitizer tests and the fuzzer.
#ifndef SONABELL_AUDIO_ENGINE_STREAM_SOURCE_H
#define SONABELL_AUDIO_ENGINE_STREAM_SOURCE_H

#include <stddef.h>

struct SbSource;

// Raw PCM has no header to recognise. A file whose content no decoder
// recognises and whose name ends in ".raw" (any letter case) is read as
// 16-bit signed little-endian stereo at 44,100 Hz.
constexpr unsigned kRawRate = 44100;

// Returns null when the file cannot be opened or holds nothing decodable
// (text, random bytes, an empty file, a folder, a truncated header).
SbSource* SbSourceOpenFile(const char* path);
// The same from bytes in memory, which must outlive the source. rawName says
// whether the bytes came from a file named *.raw.
SbSource* SbSourceOpenMemory(const void* data, size_t size, bool rawName);

// The file's own sample rate; output is converted from it.
unsigned SbSourceNativeRate(const SbSource* source);
// Sets the rate SbSourceRead produces; false when no converter can be made.
bool SbSourceSetOutputRate(SbSource* source, unsigned rate);
// Reads up to frameCount interleaved stereo float frames; fewer only at the end.
size_t SbSourceRead(SbSource* source, float* out, size_t frameCount);
// Goes back to the first frame; false when the file cannot seek.
bool SbSourceRewind(SbSource* source);
void SbSourceClose(SbSource* source);

#endif
