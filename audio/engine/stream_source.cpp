#include "audio/engine/stream_source.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "audio/engine/heap_meter.h"
#include "audio/engine/ma_config.h"
#include "audio/engine/opus_source.h"

namespace {
// Frames decoded at a time: small enough that memory does not depend on the
// file, large enough that one device period needs only a call or two.
constexpr size_t kBlock = 1024;
// Sample rates outside this range come from a broken or hostile header.
constexpr ma_uint32 kMinRate = 1000;
constexpr ma_uint32 kMaxRate = 384000;
} // namespace

struct SbSource {
    FILE* file = nullptr;
    const unsigned char* mem = nullptr;
    size_t memSize = 0;
    size_t memPos = 0;
    bool raw = false;
    bool decoderReady = false;
    ma_decoder decoder;
    SbOpus* opus = nullptr; // Ogg Opus is read by libopusfile, not the decoder
    SbOpusIo opusIo;
    const SbFeed* feed = nullptr;
    void* feedContext = nullptr;
    ma_uint64 feedLength = 0; // as the codec told it; 0 when it could not
    unsigned nativeRate = 0;
    // Frames of the decoder's output that are not the sound: an MP3
    // encoder's delay in front, its padding behind (see ReadMp3Gapless).
    ma_uint64 firstFrame = 0;
    ma_uint64 length = 0; // frames from firstFrame on; 0 when unknown
    ma_uint64 left = 0;   // of length, still to come
    bool resampling = false;
    ma_resampler resampler;
    bool ended = false;
    size_t inCount = 0;
    size_t inPos = 0;
    float in[kBlock * 2];
};

namespace {

size_t ReadBytes(SbSource* s, void* out, size_t n) {
    if (s->file)
        return std::fread(out, 1, n, s->file);
    size_t left = s->memSize - s->memPos;
    if (n > left)
        n = left;
    if (n)
        std::memcpy(out, s->mem + s->memPos, n);
    s->memPos += n;
    return n;
}

bool SeekBytes(SbSource* s, ma_int64 offset, ma_seek_origin origin) {
    if (s->file) {
        int whence = origin == ma_seek_origin_start     ? SEEK_SET
                     : origin == ma_seek_origin_current ? SEEK_CUR
                                                        : SEEK_END;
#ifdef _WIN32
        return _fseeki64(s->file, offset, whence) == 0;
#else
        return fseeko(s->file, static_cast<off_t>(offset), whence) == 0;
#endif
    }
    ma_int64 base = origin == ma_seek_origin_start     ? 0
                    : origin == ma_seek_origin_current ? static_cast<ma_int64>(s->memPos)
                                                       : static_cast<ma_int64>(s->memSize);
    if (offset > 0 && base > static_cast<ma_int64>(s->memSize) - offset)
        return false;
    ma_int64 pos = base + offset;
    if (pos < 0 || pos > static_cast<ma_int64>(s->memSize))
        return false;
    s->memPos = static_cast<size_t>(pos);
    return true;
}

long long TellBytes(SbSource* s) {
    if (!s->file)
        return static_cast<long long>(s->memPos);
#ifdef _WIN32
    return _ftelli64(s->file);
#else
    return ftello(s->file);
#endif
}

size_t OpusRead(void* context, void* out, size_t n) {
    return ReadBytes(static_cast<SbSource*>(context), out, n);
}

bool OpusSeek(void* context, long long offset, int whence) {
    return SeekBytes(static_cast<SbSource*>(context), offset,
                     whence == SEEK_SET   ? ma_seek_origin_start
                     : whence == SEEK_CUR ? ma_seek_origin_current
                                          : ma_seek_origin_end);
}

long long OpusTell(void* context) {
    return TellBytes(static_cast<SbSource*>(context));
}

ma_result OnRead(ma_decoder* decoder, void* out, size_t n, size_t* got) {
    *got = ReadBytes(static_cast<SbSource*>(decoder->pUserData), out, n);
    return (*got == 0 && n > 0) ? MA_AT_END : MA_SUCCESS;
}

ma_result OnSeek(ma_decoder* decoder, ma_int64 offset, ma_seek_origin origin) {
    return SeekBytes(static_cast<SbSource*>(decoder->pUserData), offset, origin) ? MA_SUCCESS
                                                                                 : MA_ERROR;
}

// An ID3 tag, or a valid MPEG audio frame header, at the very start.
bool StartsLikeMpeg(const unsigned char* head, size_t n) {
    if (n >= 3 && std::memcmp(head, "ID3", 3) == 0)
        return true;
    return n >= 3 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && // frame sync
           ((head[1] >> 1) & 3) != 0 &&                             // a layer
           (head[2] >> 4) != 15 &&                                  // a bitrate
           ((head[2] >> 2) & 3) != 3;                               // a sample rate
}

// MPEG audio has no signature of its own (at most an ID3 tag in front), so
// whatever carries none of the others' signatures is tried as MPEG audio.
// Not under a .raw name, though, unless it starts like MPEG: the MPEG decoder
// hunts for frame syncs through any bytes and finds them in PCM often enough
// to turn a raw file into a burst of noise.
int Candidates(const unsigned char* head, size_t n, bool rawName, ma_encoding_format out[2]) {
    auto is = [&](const char* magic) { return n >= 4 && std::memcmp(head, magic, 4) == 0; };
    switch (SbSniff(head, n)) {
    case kSbAiff:
        // The WAV reader reads AIFF and uncompressed AIFF-C too.
        out[0] = ma_encoding_format_wav;
        return 1;
    case kSbOther:
        break;
    default:
        // No reader of ours for these; never the MPEG decoder's frame hunt.
        return 0;
    }
    if (is("RIFF") || is("RIFX") || is("RF64") || is("riff")) {
        out[0] = ma_encoding_format_wav;
        return 1;
    }
    if (is("fLaC")) {
        out[0] = ma_encoding_format_flac;
        return 1;
    }
    if (is("OggS")) {
        out[0] = ma_encoding_format_vorbis;
        out[1] = ma_encoding_format_flac; // FLAC in an Ogg container
        return 2;
    }
    if (rawName && !StartsLikeMpeg(head, n))
        return 0;
    out[0] = ma_encoding_format_mp3;
    return 1;
}

// An MPEG Layer III file made by LAME (or a tool that writes the same tag)
// starts with a frame that carries no sound, the "Xing"/"Info" frame, and
// records how many frames the encoder put in front of the sound and after
// it. Decoders that honour it play the sound from its first sample; without
// it a sound starts some 50 ms late, after the silent frame, the encoder's
// delay and the decoder's own 529 samples.
struct Mp3Gapless {
    ma_uint64 skip = 0;
    ma_uint64 length = 0; // 0 when unknown
};

constexpr ma_uint64 kMp3DecoderDelay = 529;

unsigned Be32(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) << 24 | static_cast<unsigned>(p[1]) << 16 |
           static_cast<unsigned>(p[2]) << 8 | p[3];
}

Mp3Gapless ReadMp3Gapless(SbSource* s) {
    Mp3Gapless gapless;
    unsigned char head[10];
    ma_int64 start = 0;
    if (!SeekBytes(s, 0, ma_seek_origin_start) || ReadBytes(s, head, sizeof head) != sizeof head)
        return gapless;
    if (std::memcmp(head, "ID3", 3) == 0) {
        // The tag's size is 28 bits, seven to a byte; a footer adds 10.
        start = 10 +
                ((head[6] & 0x7F) << 21 | (head[7] & 0x7F) << 14 | (head[8] & 0x7F) << 7 |
                 (head[9] & 0x7F)) +
                ((head[5] & 0x10) ? 10 : 0);
    }
    unsigned char frame[4 + 32 + 120 + 36];
    if (!SeekBytes(s, start, ma_seek_origin_start) ||
        ReadBytes(s, frame, sizeof frame) != sizeof frame || frame[0] != 0xFF ||
        (frame[1] & 0xE0) != 0xE0 || ((frame[1] >> 1) & 3) != 1) // a Layer III frame
        return gapless;
    bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
    bool mono = (frame[3] >> 6) == 3;
    size_t tag = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (std::memcmp(frame + tag, "Xing", 4) != 0 && std::memcmp(frame + tag, "Info", 4) != 0)
        return gapless;
    const ma_uint64 samplesPerFrame = mpeg1 ? 1152 : 576;
    gapless.skip = samplesPerFrame; // the tag's own frame
    unsigned flags = Be32(frame + tag + 4);
    size_t at = tag + 8;
    ma_uint64 frames = 0;
    if (flags & 1) {
        frames = Be32(frame + at);
        at += 4;
    }
    at += (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    if (at + 24 > sizeof frame ||
        (std::memcmp(frame + at, "LAME", 4) != 0 && std::memcmp(frame + at, "Lavf", 4) != 0 &&
         std::memcmp(frame + at, "Lavc", 4) != 0))
        return gapless;
    const unsigned char* d = frame + at + 21;
    ma_uint64 delay = static_cast<ma_uint64>(d[0]) << 4 | d[1] >> 4;
    ma_uint64 padding = static_cast<ma_uint64>(d[1] & 0x0F) << 8 | d[2];
    gapless.skip += delay + kMp3DecoderDelay;
    if (frames > 0 && frames * samplesPerFrame > delay + padding)
        gapless.length = frames * samplesPerFrame - delay - padding;
    return gapless;
}

// The WAV reader multiplies an AIFF's channel count by its sample size in
// plain int, which overflows on hostile values: such a header is refused
// before the reader sees it. The COMM chunk comes before the sound data.
bool AiffHeaderSane(SbSource* s) {
    ma_int64 at = 12;
    for (int chunk = 0; chunk < 64; ++chunk) {
        unsigned char head[8 + 8];
        if (!SeekBytes(s, at, ma_seek_origin_start) || ReadBytes(s, head, 8) != 8)
            return false;
        if (std::memcmp(head, "SSND", 4) == 0)
            return false; // sound before its format
        unsigned size = Be32(head + 4);
        if (std::memcmp(head, "COMM", 4) == 0) {
            if (size < 18 || ReadBytes(s, head + 8, 8) != 8)
                return false;
            unsigned channels = static_cast<unsigned>(head[8] << 8 | head[9]);
            unsigned bits = static_cast<unsigned>(head[14] << 8 | head[15]);
            return channels >= 1 && channels <= 32 && bits >= 1 && bits <= 64;
        }
        at += 8 + static_cast<ma_int64>(size) + (size & 1);
    }
    return false;
}

size_t DecodeBlock(SbSource* s) {
    if (s->raw) {
        unsigned char bytes[kBlock * 4];
        size_t frames = ReadBytes(s, bytes, sizeof bytes) / 4;
        for (size_t i = 0; i < frames * 2; ++i) {
            auto v = static_cast<ma_int16>(static_cast<ma_uint16>(bytes[2 * i]) |
                                           static_cast<ma_uint16>(bytes[2 * i + 1] << 8));
            s->in[i] = static_cast<float>(v) / 32768.0f;
        }
        return frames;
    }
    if (s->opus)
        return SbOpusRead(s->opus, s->in, kBlock);
    if (s->feed)
        return s->feed->read(s->feedContext, s->in, kBlock);
    ma_uint64 want = kBlock;
    if (s->length) {
        if (s->left == 0)
            return 0;
        if (want > s->left)
            want = s->left;
    }
    ma_uint64 got = 0;
    ma_decoder_read_pcm_frames(&s->decoder, s->in, want, &got);
    if (s->length)
        s->left -= got;
    return static_cast<size_t>(got);
}

// Starts the decoder's output at the sound's first frame.
bool SeekToFirstFrame(SbSource* s) {
    if (ma_decoder_seek_to_pcm_frame(&s->decoder, s->firstFrame) != MA_SUCCESS)
        return false;
    s->left = s->length;
    return true;
}

bool OpenDecoder(SbSource* s, bool rawName) {
    unsigned char head[kSbSniffBytes] = {};
    size_t n = ReadBytes(s, head, sizeof head);
    if (n == 0 || !SeekBytes(s, 0, ma_seek_origin_start))
        return false;
    if (SbSniff(head, n) == kSbOpus) {
        s->opusIo = {s, OpusRead, OpusSeek, OpusTell};
        s->opus = SbOpusOpen(&s->opusIo);
        s->nativeRate = kSbOpusRate;
        return s->opus != nullptr;
    }
    ma_encoding_format formats[2];
    int count = Candidates(head, n, rawName, formats);
    for (int i = 0; i < count; ++i) {
        Mp3Gapless gapless;
        if (formats[i] == ma_encoding_format_mp3)
            gapless = ReadMp3Gapless(s);
        if (SbSniff(head, n) == kSbAiff && !AiffHeaderSane(s))
            return false;
        if (!SeekBytes(s, 0, ma_seek_origin_start))
            return false;
        ma_decoder_config config = ma_decoder_config_init(ma_format_f32, 2, 0);
        config.encodingFormat = formats[i];
        if (ma_decoder_init(OnRead, OnSeek, s, &config, &s->decoder) != MA_SUCCESS)
            continue;
        ma_format format;
        ma_uint32 channels = 0, rate = 0;
        if (ma_decoder_get_data_format(&s->decoder, &format, &channels, &rate, nullptr, 0) ==
                MA_SUCCESS &&
            rate >= kMinRate && rate <= kMaxRate && channels == 2) {
            s->nativeRate = rate;
            // A tag that points past what the file holds is not trusted.
            s->firstFrame = gapless.skip;
            s->length = gapless.length;
            if (SeekToFirstFrame(s)) {
                s->decoderReady = true;
                return true;
            }
            s->firstFrame = s->length = 0;
            if (SeekToFirstFrame(s)) {
                s->decoderReady = true;
                return true;
            }
        }
        ma_decoder_uninit(&s->decoder);
    }
    return false;
}

ma_uint64 ByteSize(SbSource* s) {
    const long long at = TellBytes(s);
    long long size = 0;
    if (at >= 0 && SeekBytes(s, 0, ma_seek_origin_end))
        size = TellBytes(s);
    SeekBytes(s, at, ma_seek_origin_start);
    return size > 0 ? static_cast<ma_uint64>(size) : 0;
}

// The granule position of an Ogg stream's last page, which for Vorbis is its
// length in frames: the decoder reads Vorbis as pushed data and cannot tell.
// A page is at most 65,307 bytes, so the last one starts within that of the
// end. 0 when no page there says.
ma_uint64 LastOggGranule(SbSource* s) {
    constexpr size_t kMostPageBytes = 65307;
    const long long at = TellBytes(s);
    const ma_uint64 size = ByteSize(s);
    if (at < 0 || size < 27)
        return 0;
    const size_t tailSize = static_cast<size_t>(size < kMostPageBytes ? size : kMostPageBytes);
    std::vector<unsigned char> tail(tailSize);
    size_t got = 0;
    if (SeekBytes(s, -static_cast<ma_int64>(tailSize), ma_seek_origin_end))
        got = ReadBytes(s, tail.data(), tailSize);
    SeekBytes(s, at, ma_seek_origin_start);
    for (size_t i = got >= 27 ? got - 27 + 1 : 0; i-- > 0;) {
        const unsigned char* page = tail.data() + i;
        if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0)
            continue;
        ma_uint64 granule = 0;
        for (int b = 7; b >= 0; --b)
            granule = granule << 8 | page[6 + b];
        if (granule != ~static_cast<ma_uint64>(0)) // -1: no packet ends on this page
            return granule;
    }
    return 0;
}

bool EndsWithRaw(const char* path) {
    size_t n = std::strlen(path);
    if (n < 4)
        return false;
    const char* tail = path + n - 4;
    const char* want = ".raw";
    for (int i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != want[i])
            return false;
    }
    return true;
}

SbSource* NewSource() {
    void* memory = SbMeterMalloc(sizeof(SbSource));
    return memory ? new (memory) SbSource : nullptr;
}

void FreeSource(SbSource* s) {
    if (s->resampling)
        ma_resampler_uninit(&s->resampler, nullptr);
    if (s->decoderReady)
        ma_decoder_uninit(&s->decoder);
    SbOpusClose(s->opus);
    if (s->feed)
        s->feed->close(s->feedContext);
    if (s->file)
        std::fclose(s->file);
    s->~SbSource();
    SbMeterFree(s);
}

// Recognises the content and decodes the first block, so that a file whose
// header looks right but which yields nothing is refused here, and so that the
// first period after a start has frames ready.
SbSource* Finish(SbSource* s, bool rawName) {
    if (!OpenDecoder(s, rawName)) {
        if (!rawName || !SeekBytes(s, 0, ma_seek_origin_start)) {
            FreeSource(s);
            return nullptr;
        }
        s->raw = true;
        s->nativeRate = kRawRate;
    }
    s->inCount = DecodeBlock(s);
    if (s->inCount == 0 && s->firstFrame > 0) {
        // Nothing after the frames the tag says to skip: play it all.
        s->firstFrame = s->length = 0;
        if (SeekToFirstFrame(s))
            s->inCount = DecodeBlock(s);
    }
    if (s->inCount == 0) {
        FreeSource(s);
        return nullptr;
    }
    return s;
}

} // namespace

SbContainer SbSniff(const unsigned char* head, size_t n) {
    if (n >= 12 && std::memcmp(head, "FORM", 4) == 0 &&
        (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
        return kSbAiff;
    if (n >= 27 && std::memcmp(head, "OggS", 4) == 0) {
        // The first page's first packet follows its segment table.
        size_t packet = 27 + static_cast<size_t>(head[26]);
        if (packet + 8 <= n && std::memcmp(head + packet, "OpusHead", 8) == 0)
            return kSbOpus;
        return kSbOther;
    }
    static const unsigned char asfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (n >= 16 && std::memcmp(head, asfHeader, 16) == 0)
        return kSbAsf;
    if (n >= 8 && std::memcmp(head + 4, "ftyp", 4) == 0)
        return kSbMp4;
    return kSbOther;
}

SbContainer SbSniffFile(const char* path) {
    if (!path || !*path)
        return kSbOther;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return kSbOther;
    unsigned char head[kSbSniffBytes];
    size_t n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return SbSniff(head, n);
}

SbSource* SbSourceOpenFile(const char* path) {
    if (!path || !*path)
        return nullptr;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return nullptr;
    SbSource* s = NewSource();
    if (!s) {
        std::fclose(file);
        return nullptr;
    }
    s->file = file;
    return Finish(s, EndsWithRaw(path));
}

SbSource* SbSourceOpenMemory(const void* data, size_t size, bool rawName) {
    if (!data && size)
        return nullptr;
    SbSource* s = NewSource();
    if (!s)
        return nullptr;
    static const unsigned char empty = 0;
    s->mem = data ? static_cast<const unsigned char*>(data) : &empty;
    s->memSize = size;
    return Finish(s, rawName);
}

SbSource* SbSourceOpenFeed(const SbFeed* feed, void* context, unsigned rate,
                           unsigned long long lengthFrames) {
    SbSource* s = rate >= kMinRate && rate <= kMaxRate ? NewSource() : nullptr;
    if (!s) {
        feed->close(context);
        return nullptr;
    }
    s->feed = feed;
    s->feedContext = context;
    s->feedLength = lengthFrames;
    s->nativeRate = rate;
    return s;
}

unsigned long long SbSourceLengthFrames(SbSource* s) {
    if (s->raw)
        return ByteSize(s) / 4;
    if (s->opus)
        return SbOpusLength(s->opus);
    if (s->feed)
        return s->feedLength;
    if (!s->decoderReady)
        return 0;
    if (s->length)
        return s->length;
    // From the header where the format has one; an MP3 without a tag has its
    // frame headers read through, which decodes nothing.
    ma_uint64 frames = 0;
    if (ma_decoder_get_length_in_pcm_frames(&s->decoder, &frames) != MA_SUCCESS || frames == 0) {
        unsigned char head[4] = {};
        const long long at = TellBytes(s);
        const bool ogg = SeekBytes(s, 0, ma_seek_origin_start) && ReadBytes(s, head, 4) == 4 &&
                         std::memcmp(head, "OggS", 4) == 0;
        SeekBytes(s, at, ma_seek_origin_start);
        frames = ogg ? LastOggGranule(s) : 0;
    }
    return frames > s->firstFrame ? frames - s->firstFrame : 0;
}

unsigned SbSourceNativeRate(const SbSource* source) {
    return source->nativeRate;
}

bool SbSourceSetOutputRate(SbSource* s, unsigned rate) {
    if (rate < kMinRate || rate > kMaxRate)
        return false;
    if (s->resampling) {
        ma_resampler_uninit(&s->resampler, nullptr);
        s->resampling = false;
    }
    if (rate == s->nativeRate)
        return true;
    ma_resampler_config config = ma_resampler_config_init(ma_format_f32, 2, s->nativeRate, rate,
                                                          ma_resample_algorithm_linear);
    if (ma_resampler_init(&config, nullptr, &s->resampler) != MA_SUCCESS)
        return false;
    s->resampling = true;
    return true;
}

size_t SbSourceRead(SbSource* s, float* out, size_t frameCount) {
    size_t done = 0;
    while (done < frameCount) {
        if (s->inPos == s->inCount) {
            if (s->ended)
                break;
            s->inPos = 0;
            s->inCount = DecodeBlock(s);
            if (s->inCount == 0) {
                s->ended = true;
                break;
            }
        }
        size_t avail = s->inCount - s->inPos;
        if (!s->resampling) {
            size_t n = avail < frameCount - done ? avail : frameCount - done;
            std::memcpy(out + done * 2, s->in + s->inPos * 2, n * 2 * sizeof(float));
            s->inPos += n;
            done += n;
            continue;
        }
        ma_uint64 inFrames = avail;
        ma_uint64 outFrames = frameCount - done;
        if (ma_resampler_process_pcm_frames(&s->resampler, s->in + s->inPos * 2, &inFrames,
                                            out + done * 2, &outFrames) != MA_SUCCESS ||
            (inFrames == 0 && outFrames == 0)) {
            s->ended = true;
            break;
        }
        s->inPos += static_cast<size_t>(inFrames);
        done += static_cast<size_t>(outFrames);
    }
    return done;
}

bool SbSourceRewind(SbSource* s) {
    bool ok = s->raw    ? SeekBytes(s, 0, ma_seek_origin_start)
              : s->opus ? SbOpusRewind(s->opus)
              : s->feed ? s->feed->rewind(s->feedContext)
                        : SeekToFirstFrame(s);
    if (!ok)
        return false;
    if (s->resampling)
        ma_resampler_reset(&s->resampler);
    s->ended = false;
    s->inPos = 0;
    s->inCount = 0;
    return true;
}

void SbSourceClose(SbSource* source) {
    if (source)
        FreeSource(source);
}
