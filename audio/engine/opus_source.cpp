#include "audio/engine/opus_source.h"

#include <opusfile.h>

#include <new>

#include "audio/engine/heap_meter.h"

struct SbOpus {
    const SbOpusIo* io;
    OggOpusFile* file;
};

namespace {

int OnRead(void* stream, unsigned char* out, int n) {
    auto* io = static_cast<const SbOpusIo*>(stream);
    return n > 0 ? static_cast<int>(io->read(io->context, out, static_cast<size_t>(n))) : 0;
}

int OnSeek(void* stream, opus_int64 offset, int whence) {
    auto* io = static_cast<const SbOpusIo*>(stream);
    return io->seek(io->context, offset, whence) ? 0 : -1;
}

opus_int64 OnTell(void* stream) {
    auto* io = static_cast<const SbOpusIo*>(stream);
    return io->tell(io->context);
}

// A hole (a lost page) is skipped over; anything else ends the stream. A file
// made only of holes must still end, so their number is bounded.
constexpr int kMostHolesInARow = 64;

} // namespace

SbOpus* SbOpusOpen(const SbOpusIo* io) {
    static const OpusFileCallbacks callbacks = {OnRead, OnSeek, OnTell, nullptr};
    int error = 0;
    OggOpusFile* file =
        op_open_callbacks(const_cast<SbOpusIo*>(io), &callbacks, nullptr, 0, &error);
    if (!file)
        return nullptr;
    void* memory = SbMeterMalloc(sizeof(SbOpus));
    if (!memory) {
        op_free(file);
        return nullptr;
    }
    return new (memory) SbOpus{io, file};
}

size_t SbOpusRead(SbOpus* opus, float* out, size_t frameCount) {
    size_t done = 0;
    int holes = 0;
    while (done < frameCount) {
        size_t room = (frameCount - done) * 2;
        int got = op_read_float_stereo(opus->file, out + done * 2,
                                       room > 0x7fffffff ? 0x7fffffff : static_cast<int>(room));
        if (got == OP_HOLE && ++holes < kMostHolesInARow)
            continue;
        if (got <= 0)
            break;
        holes = 0;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool SbOpusRewind(SbOpus* opus) {
    return op_pcm_seek(opus->file, 0) == 0;
}

unsigned long long SbOpusLength(SbOpus* opus) {
    const ogg_int64_t total = op_pcm_total(opus->file, -1);
    return total > 0 ? static_cast<unsigned long long>(total) : 0;
}

void SbOpusClose(SbOpus* opus) {
    if (!opus)
        return;
    op_free(opus->file);
    opus->~SbOpus();
    SbMeterFree(opus);
}
