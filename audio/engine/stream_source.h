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

// What a file's first bytes say it is. Only these containers are recognised
// by their signature ahead of everything else; the rest is left to the
// decoders' own trial, as it always was.
enum SbContainer {
    kSbOther, // WAV, FLAC, Ogg Vorbis/FLAC, MPEG audio, raw PCM, or nothing
    kSbAiff,  // FORM....AIFF or FORM....AIFC
    kSbOpus,  // an Ogg stream whose first packet is an OpusHead
    kSbAsf,   // an ASF header object (WMA, ASF): the system's codecs only
    kSbMp4    // an ftyp box (M4A/AAC): the system's codecs only
};
// Enough of the start of a file for SbSniff.
constexpr size_t kSbSniffBytes = 64;
SbContainer SbSniff(const unsigned char* head, size_t n);
SbContainer SbSniffFile(const char* path);

// Returns null when the file cannot be opened or holds nothing decodable
// (text, random bytes, an empty file, a folder, a truncated header), and for
// ASF and MP4 content, which only the system's codecs read.
SbSource* SbSourceOpenFile(const char* path);
// The same from bytes in memory, which must outlive the source. rawName says
// whether the bytes came from a file named *.raw.
SbSource* SbSourceOpenMemory(const void* data, size_t size, bool rawName);

// Frames decoded somewhere else (the system's codecs, on their own thread):
// read hands out interleaved stereo float frames at the feed's rate, fewer
// only at the end, and never waits; close is called once, by SbSourceClose.
struct SbFeed {
    size_t (*read)(void* context, float* out, size_t frameCount);
    bool (*rewind)(void* context);
    void (*close)(void* context);
};
// Takes the feed's context: closed here when no source can be made.
// lengthFrames is the sound's length at rate as the codec tells it, 0 when
// it cannot.
SbSource* SbSourceOpenFeed(const SbFeed* feed, void* context, unsigned rate,
                           unsigned long long lengthFrames);

// The file's own sample rate; output is converted from it.
unsigned SbSourceNativeRate(const SbSource* source);
// The sound's length in frames at the native rate, from what the file itself
// says (its header, the last Ogg page, an MP3's tag) or, for MP3 without a
// tag, from its frame headers read through; 0 when it cannot be told. Leaves
// the source where it was.
unsigned long long SbSourceLengthFrames(SbSource* source);
// Sets the rate SbSourceRead produces; false when no converter can be made.
bool SbSourceSetOutputRate(SbSource* source, unsigned rate);
// Reads up to frameCount interleaved stereo float frames; fewer only at the end.
size_t SbSourceRead(SbSource* source, float* out, size_t frameCount);
// Goes back to the first frame; false when the file cannot seek.
bool SbSourceRewind(SbSource* source);
void SbSourceClose(SbSource* source);

#endif
