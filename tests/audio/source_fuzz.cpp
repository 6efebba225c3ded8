// Arbitrary bytes as a sound file: recognise the container (AIFF, Opus, ASF,
// MP4 or none), open, tell its length, convert and decode without reading
// outside any buffer, whatever the bytes claim.
#include <cstddef>
#include <cstdint>

#include "audio/engine/stream_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses the name and the output rate, the rest is the file.
    bool rawName = data[0] & 1;
    unsigned rate = (data[0] & 2) ? 48000 : 44100;
    SbSource* s = SbSourceOpenMemory(data + 1, size - 1, rawName);
    if (!s)
        return 0;
    // The length as the bytes tell it, where the decoding must then start.
    SbSourceLengthFrames(s);
    float block[2 * 512];
    if (SbSourceSetOutputRate(s, rate)) {
        // Bounded, so a claim of hours of audio cannot stall the fuzzer.
        for (int i = 0; i < 2000 && SbSourceRead(s, block, 512) > 0; ++i) {
        }
        SbSourceRewind(s);
        SbSourceRead(s, block, 512);
    }
    SbSourceClose(s);
    return 0;
}
