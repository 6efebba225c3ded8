// The decoding half of the engine: what it makes of real files and of hostile
// bytes. Built natively under the sanitizers as well as for Windows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/engine/chime.h"
#include "audio/engine/codec_pcm.h"
#include "audio/engine/heap_meter.h"
#include "audio/engine/loudness.h"
#include "audio/engine/stream_source.h"
#include "pcm_compare.h"

namespace {

std::string Media(const std::string& name) {
    return std::string(SB_TEST_MEDIA) + "/" + name;
}

pcm::Frames DecodeAll(SbSource* s) {
    pcm::Frames all;
    float block[2 * 700]; // deliberately not a multiple of the decode block
    size_t n;
    while ((n = SbSourceRead(s, block, 700)) > 0)
        all.insert(all.end(), block, block + 2 * n);
    return all;
}

TEST(StreamSource, DecodesEveryFormatLikeTheReferenceDecoders) {
    for (const std::string& name : pcm::DecodableClips()) {
        SCOPED_TRACE(name);
        SbSource* s = SbSourceOpenFile(Media(name).c_str());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(SbSourceNativeRate(s), 44100u);
        ASSERT_TRUE(SbSourceSetOutputRate(s, 44100));
        // Told before decoding, which must then start where it would have.
        const unsigned long long length = SbSourceLengthFrames(s);
        pcm::Frames got = DecodeAll(s);
        SbSourceClose(s);
        EXPECT_NEAR(static_cast<double>(length), pcm::FrameCount(got), 44100 * 0.06);
        std::string refBytes;
        ASSERT_TRUE(pcm::ReadFile(Media(name + ".ref.raw"), refBytes));
        pcm::Match m = pcm::Compare(got, pcm::FromS16(refBytes));
        ::testing::Test::RecordProperty(name + " snr dB", std::to_string(m.snrDb));
        ASSERT_GE(m.lag, 0);
        EXPECT_LT(m.lag, 2400); // at most an MP3 info frame plus the encoder's delay
        EXPECT_GT(m.snrDb, 40.0);
        EXPECT_LT(m.tailRms, 0.01);
    }
}

// LAME's tag says where the sound starts and ends: an MP3 plays from its
// first sample to its last, sample for sample as mpg123 plays it, with no
// silent frame, encoder delay or padding around it (and again after a rewind).
TEST(StreamSource, Mp3sPlayFromTheirFirstSampleToTheirLast) {
    for (const char* name : {"clip.mp3", "mp3-named.wav", "tone-1k.mp3"}) {
        SCOPED_TRACE(name);
        SbSource* s = SbSourceOpenFile(Media(name).c_str());
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(SbSourceSetOutputRate(s, 44100));
        std::string refBytes;
        ASSERT_TRUE(pcm::ReadFile(Media(std::string(name) + ".ref.raw"), refBytes));
        pcm::Frames ref = pcm::FromS16(refBytes);
        for (int pass = 0; pass < 2; ++pass) {
            pcm::Frames got = DecodeAll(s);
            EXPECT_EQ(pcm::FrameCount(got), pcm::FrameCount(ref));
            pcm::Match m = pcm::Compare(got, ref);
            EXPECT_EQ(m.lag, 0);
            EXPECT_GT(m.snrDb, 40.0);
            ASSERT_TRUE(SbSourceRewind(s));
        }
        SbSourceClose(s);
    }
}

// The tag is the file's word, not a promise: a sound is never lost to one
// that asks to skip more than there is, or counts more frames than exist.
TEST(StreamSource, Mp3TagsThatOverreachAreIgnored) {
    std::string mp3;
    ASSERT_TRUE(pcm::ReadFile(Media("clip.mp3"), mp3));
    size_t lame = mp3.find("LAME");
    ASSERT_NE(lame, std::string::npos);
    std::string odd = mp3;
    odd[lame + 21] = '\xff'; // an encoder delay of 4095 and more
    odd[lame + 22] = static_cast<char>((odd[lame + 22] & 0x0F) | 0xF0);
    size_t info = odd.find("Info");
    ASSERT_NE(info, std::string::npos);
    odd.replace(info + 8, 4, "\x00\xff\xff\xff"); // 16 million frames
    SbSource* s = SbSourceOpenMemory(odd.data(), odd.size(), false);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(pcm::FrameCount(DecodeAll(s)), 1.1 * 44100);
    SbSourceClose(s);
    // Cut to the tag's frame and two more: fewer frames than it says to skip.
    std::string shortOne = odd.substr(0, 3 * 418);
    s = SbSourceOpenMemory(shortOne.data(), shortOne.size(), false);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(pcm::FrameCount(DecodeAll(s)), 0u);
    SbSourceClose(s);
}

TEST(StreamSource, ConvertsMonoAndOtherRatesToStereoAtTheOutputRate) {
    SbSource* s = SbSourceOpenFile(Media("mono-22050.wav").c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SbSourceNativeRate(s), 22050u);
    ASSERT_TRUE(SbSourceSetOutputRate(s, 44100));
    pcm::Frames got = DecodeAll(s);
    SbSourceClose(s);
    // 1.3 s of sound, doubled in rate.
    EXPECT_NEAR(static_cast<double>(pcm::FrameCount(got)), 1.3 * 44100, 64);
    for (size_t i = 0; i < pcm::FrameCount(got); ++i)
        ASSERT_EQ(got[2 * i], got[2 * i + 1]);
}

TEST(StreamSource, RewindStartsOverWithTheSameFrames) {
    SbSource* s = SbSourceOpenFile(Media("clip.ogg").c_str());
    ASSERT_NE(s, nullptr);
    pcm::Frames first = DecodeAll(s);
    ASSERT_TRUE(SbSourceRewind(s));
    pcm::Frames second = DecodeAll(s);
    SbSourceClose(s);
    EXPECT_EQ(first, second);
}

// A file four times longer must not need more memory to stream.
TEST(StreamSource, HeapDoesNotGrowWithTheFileLength) {
    auto peakWhileStreaming = [](const char* name) {
        size_t before = SbMeterCurrentBytes();
        SbMeterResetPeak();
        SbSource* s = SbSourceOpenFile(Media(name).c_str());
        EXPECT_NE(s, nullptr);
        if (!s)
            return size_t{0};
        SbSourceSetOutputRate(s, 48000);
        DecodeAll(s);
        SbSourceClose(s);
        EXPECT_EQ(SbMeterCurrentBytes(), before); // everything given back
        return SbMeterPeakBytes() - before;
    };
    size_t shortPeak = peakWhileStreaming("short-2000.mp3");
    size_t longPeak = peakWhileStreaming("long-440.mp3");
    EXPECT_GT(shortPeak, 0u);
    EXPECT_LE(longPeak, shortPeak + 1024);
}

std::string Repeat(const std::string& s, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += s;
    return out;
}

std::string RandomBytes(size_t n) {
    std::string out;
    unsigned x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out.push_back(static_cast<char>(x >> 16));
    }
    return out;
}

std::string Prefix(const char* name, size_t n) {
    std::string bytes;
    pcm::ReadFile(Media(name), bytes);
    return bytes.substr(0, n);
}

// A WAV header whose fields are all as large as they can be.
std::string HugeWavHeader() {
    std::string h("RIFF\xff\xff\xff\xff"
                  "WAVEfmt \x10\0\0\0"
                  "\x01\0\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x10\0"
                  "data\xf0\xff\xff\xff",
                  44);
    return h + RandomBytes(256);
}

// The channel count in the OpusHead packet set to zero: a first page that
// fails both its checksum and the header's own rules.
std::string OpusWithBrokenHead() {
    std::string bytes = Prefix("fmt-opusmusic-1000-1500.opus", 1 << 20);
    size_t head = bytes.find("OpusHead");
    if (head != std::string::npos)
        bytes[head + 9] = 0;
    return bytes;
}

TEST(StreamSource, RecognisesContainersByTheirFirstBytes) {
    auto opusPage = [](unsigned char segments, const char* packet) {
        std::string page("OggS\0\2", 6);
        page += std::string(20, '\0') + static_cast<char>(segments) +
                std::string(segments, '\x13') + packet;
        return page + std::string(64, '\0');
    };
    const std::string asf("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    const struct {
        std::string head;
        SbContainer want;
    } cases[] = {
        {std::string("FORM\0\0\0\x20"
                     "AIFF",
                     12),
         kSbAiff},
        {std::string("FORM\0\0\0\x20"
                     "AIFC",
                     12),
         kSbAiff},
        {std::string("FORM\0\0\0\x20"
                     "8SVX",
                     12),
         kSbOther},
        {"FORM\0\0\0", kSbOther}, // too short to say
        {opusPage(1, "OpusHead"), kSbOpus},
        {opusPage(3, "OpusHead"), kSbOpus},
        {opusPage(1, "\x01vorbis"), kSbOther},
        {opusPage(60, "OpusHead"), kSbOther}, // the packet lies beyond what is looked at
        {asf + "garbage", kSbAsf},
        {asf.substr(0, 15), kSbOther},
        {std::string("\0\0\0\x20"
                     "ftypM4A ",
                     12),
         kSbMp4},
        {"RIFF\0\0\0\0WAVE", kSbOther},
        {"ID3\x04", kSbOther},
        {"", kSbOther},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        EXPECT_EQ(c.want, SbSniff(reinterpret_cast<const unsigned char*>(c.head.data()),
                                  std::min(c.head.size(), kSbSniffBytes)));
    }
    EXPECT_EQ(kSbAiff, SbSniffFile(Media("clip.aiff").c_str()));
    EXPECT_EQ(kSbOpus, SbSniffFile(Media("fmt-opusvoice-440-1500.opus").c_str()));
    EXPECT_EQ(kSbAsf, SbSniffFile(Media("fmt-asf-1000-1500.asf").c_str()));
    EXPECT_EQ(kSbMp4, SbSniffFile(Media("fmt-m4a48-440-1500.m4a").c_str()));
    EXPECT_EQ(kSbOther, SbSniffFile(Media("clip.ogg").c_str()));
    EXPECT_EQ(kSbOther, SbSniffFile(Media("no-such-file.mp3").c_str()));
}

// Tones in the formats our own readers took on later: the sound's length and
// its pitch in the middle, at the file's own rate.
TEST(StreamSource, PlaysAiffAndOpusTonesAtTheirLengthAndPitch) {
    const struct {
        const char* name;
        unsigned rate;
        double seconds, hz;
    } cases[] = {
        {"fmt-aiff-1000-1000.aiff", 44100, 1.0, 1000},
        {"fmt-aifc-1000-1000.aifc", 44100, 1.0, 1000},
        {"fmt-opusvoice-440-1500.opus", 48000, 1.5, 440},
        {"fmt-opusmusic-1000-1500.opus", 48000, 1.5, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SbSource* s = SbSourceOpenFile(Media(c.name).c_str());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(SbSourceNativeRate(s), c.rate);
        ASSERT_TRUE(SbSourceSetOutputRate(s, c.rate));
        EXPECT_NEAR(static_cast<double>(SbSourceLengthFrames(s)) / c.rate, c.seconds, 0.06);
        for (int pass = 0; pass < 2; ++pass) { // and again after a rewind
            pcm::Frames got = DecodeAll(s);
            size_t frames = pcm::FrameCount(got);
            EXPECT_NEAR(static_cast<double>(frames) / c.rate, c.seconds, 0.06);
            double hz = pcm::MedianPitchHz(got.data(), frames, frames * 2 / 5, frames * 3 / 5,
                                           c.rate, 0.01f);
            EXPECT_NEAR(hz, c.hz, c.hz * 0.01);
            ASSERT_TRUE(SbSourceRewind(s));
        }
        SbSourceClose(s);
    }
}

TEST(StreamSource, RefusesWhatItCannotDecode) {
    struct Case {
        const char* what;
        std::string bytes;
        bool rawName;
    };
    const std::vector<Case> cases = {
        {"empty", "", false},
        {"empty named .raw", "", true},
        {"less than one raw frame", "abc", true},
        {"text", Repeat("Just some words, not a sound.\r\n", 200), false},
        {"random bytes", RandomBytes(65536), false},
        {"a WAV header cut short", Prefix("clip.wav", 30), false},
        {"a WAV header without data", Prefix("clip.wav", 44), false},
        {"the start of an MP3", Prefix("clip.mp3", 64), false},
        {"the start of an Ogg file", Prefix("clip.ogg", 100), false},
        {"the start of a FLAC file", Prefix("clip.flac", 40), false},
        {"huge WAV header values", HugeWavHeader(), false},
        {"FLAC signature then noise", "fLaC" + RandomBytes(4096), false},
        {"Ogg signature then noise", "OggS" + RandomBytes(4096), false},
        {"ID3 tag then noise", "ID3\x04" + RandomBytes(4096), false},
        {"AIFF form then noise", std::string("FORM\0\0\x10\0AIFF", 12) + RandomBytes(4096), false},
        {"an AIFF cut inside its header", Prefix("clip.aiff", 40), false},
        {"an AIFF of 65,535 channels of 57,945 bits",
         std::string("FORM\0\0\x10\0AIFFCOMM\0\0\0\x12\xff\xff\0\0\0\x10\xe2\x59"
                     "\x40\x0e\xac\x44\0\0\0\0\0\0SSND\0\0\x10\0",
                     46) +
             RandomBytes(4096),
         false},
        {"ASF header GUID then garbage", Prefix("fmt-wma2-1000-1500.wma", 16) + RandomBytes(4096),
         false},
        // Only the system's codecs read these, never the MPEG decoder's hunt.
        {"a whole WMA", Prefix("fmt-wma2-1000-1500.wma", 1 << 20), false},
        {"a whole M4A", Prefix("fmt-m4a44-1000-1500.m4a", 1 << 20), false},
        {"an Opus file whose first page is broken", OpusWithBrokenHead(), false},
        {"the start of an Opus file", Prefix("fmt-opusmusic-1000-1500.opus", 200), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SbSource* s = SbSourceOpenMemory(c.bytes.data(), c.bytes.size(), c.rawName);
        EXPECT_EQ(s, nullptr);
        SbSourceClose(s);
    }
}

TEST(StreamSource, ReadsUnrecognisedBytesAsRawOnlyUnderARawName) {
    const std::string text = Repeat("Just some words, not a sound.\r\n", 8);
    EXPECT_EQ(SbSourceOpenMemory(text.data(), text.size(), false), nullptr);
    SbSource* s = SbSourceOpenMemory(text.data(), text.size(), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SbSourceNativeRate(s), kRawRate);
    EXPECT_EQ(pcm::FrameCount(DecodeAll(s)), text.size() / 4);
    SbSourceClose(s);
    // Known content wins over the name.
    s = SbSourceOpenFile(Media("ogg-named.raw").c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_LT(pcm::FrameCount(DecodeAll(s)), 1.4 * 44100);
    SbSourceClose(s);
    std::string mp3;
    ASSERT_TRUE(pcm::ReadFile(Media("clip.mp3"), mp3));
    s = SbSourceOpenMemory(mp3.data(), mp3.size(), true);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(pcm::FrameCount(DecodeAll(s)), 1.2 * 44100) << "an MP3 named .raw is MP3";
    SbSourceClose(s);
    // PCM in which MPEG frames can be found further in (here real ones, after
    // silence): under a .raw name it is PCM, however the MPEG decoder would
    // hunt down the frames; under any other name it is still tried as MPEG.
    const std::string hidden = std::string(4000, '\0') + mp3;
    s = SbSourceOpenMemory(hidden.data(), hidden.size(), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pcm::FrameCount(DecodeAll(s)), hidden.size() / 4);
    SbSourceClose(s);
    s = SbSourceOpenMemory(hidden.data(), hidden.size(), false);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(pcm::FrameCount(DecodeAll(s)), 1.2 * 44100);
    SbSourceClose(s);
}

// The test chime at any mixing rate: 0.7 s, within half of full scale or
// so, starting and ending at silence without a click.
TEST(Chime, IsShortSmoothAndBoundedAtEveryRate) {
    for (unsigned rate : {8000u, 40100u, 44100u, 48000u, 192000u}) {
        SCOPED_TRACE(rate);
        SbChime chime;
        SbChimeStart(&chime, rate);
        pcm::Frames got;
        float block[2 * 500];
        size_t n;
        while ((n = SbChimeRender(&chime, block, 500)) > 0)
            got.insert(got.end(), block, block + 2 * n);
        ASSERT_EQ(pcm::FrameCount(got), static_cast<size_t>(kChimeSeconds * rate));
        float peak = 0, step = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            peak = std::max(peak, std::fabs(got[i]));
            if (i >= 2)
                step = std::max(step, std::fabs(got[i] - got[i - 2]));
        }
        EXPECT_GT(peak, 0.3f);
        EXPECT_LT(peak, 0.8f);
        // The loudest partial (E6 and its overtones) moves at most this much
        // from one sample to the next; a click would jump further.
        EXPECT_LT(step, 2 * 3.1416f * 3640 / static_cast<float>(rate) * 0.6f + 1e-3f);
        EXPECT_LT(std::fabs(got[0]), 1e-3f);
        EXPECT_LT(std::fabs(got[got.size() - 1]), 1e-3f);
        SbChimeStart(&chime, rate); // again from the start
        EXPECT_EQ(SbChimeRender(&chime, block, 500), 500u);
    }
}

// What the system's codecs hand over, as the engine hears it: one frame of
// each layout, its first channel at minus half scale, its second (if any) at
// a quarter; mono is heard on both sides, further channels dropped.
TEST(CodecPcm, TurnsEveryLayoutIntoStereoFloat) {
    const float minusHalf = -0.5f, quarter = 0.25f;
    std::string floats(reinterpret_cast<const char*>(&minusHalf), 4);
    floats.append(reinterpret_cast<const char*>(&quarter), 4);
    const struct {
        SbPcmLayout layout;
        std::string frame;
        float left, right;
    } cases[] = {
        {{44100, 1, 8, false}, "\x40", -0.5f, -0.5f},
        {{44100, 2, 16, false}, std::string("\x00\xc0\x00\x20", 4), -0.5f, 0.25f},
        {{48000, 2, 24, false}, std::string("\x00\x00\xc0\x00\x00\x20", 6), -0.5f, 0.25f},
        {{48000, 2, 32, false}, std::string("\0\0\0\xc0\0\0\0\x20", 8), -0.5f, 0.25f},
        {{48000, 2, 32, true}, floats, -0.5f, 0.25f},
        {{48000, 3, 32, true}, floats + floats.substr(0, 4), -0.5f, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.layout.channels) + " channels, " +
                     std::to_string(c.layout.bits) + " bits");
        EXPECT_TRUE(SbPcmLayoutUsable(c.layout));
        std::vector<float> out;
        // A frame and a half: only whole frames are taken.
        std::string bytes = c.frame + c.frame.substr(0, c.frame.size() / 2);
        SbPcmAppendStereo(c.layout, bytes.data(), bytes.size(), out);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_FLOAT_EQ(out[0], c.left);
        EXPECT_FLOAT_EQ(out[1], c.right);
    }
    EXPECT_FALSE(SbPcmLayoutUsable({44100, 2, 12, false}));
    EXPECT_FALSE(SbPcmLayoutUsable({44100, 0, 16, false}));
    EXPECT_FALSE(SbPcmLayoutUsable({500, 2, 16, false}));
}

// Loudness and peak as ffmpeg's ebur128 filter reports them for the files.
TEST(Loudness, MeasuresAFilesFirstTenSecondsAsAnR128MeterDoes) {
    const struct {
        const char* file;
        bool whole;
        double lufs; // NAN: any finite value
        double peak;
    } cases[] = {
        {"even-tone-loud.wav", true, -9.0, 0.355},
        {"even-tone-quiet.wav", true, -29.0, 0.0355},
        {"even-click.wav", true, -35.7, 1.0},
        {"even-tiny.wav", true, NAN, 0.1},         // shorter than a decode block
        {"even-long.mp3", false, -27.1, 0.05},     // its click comes after 11 s
        {"even-silent.wav", true, -HUGE_VAL, 0.0}, // no measurable loudness
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        SbLoudness m;
        ASSERT_TRUE(SbLoudnessMeasure(Media(c.file).c_str(), nullptr, &m));
        EXPECT_EQ(m.whole, c.whole);
        if (std::isnan(c.lufs))
            EXPECT_TRUE(std::isfinite(m.lufs)) << m.lufs;
        else if (std::isinf(c.lufs))
            EXPECT_EQ(m.lufs, c.lufs);
        else
            EXPECT_NEAR(m.lufs, c.lufs, 0.2);
        EXPECT_NEAR(m.peak, c.peak, 0.01);
    }
    SbLoudness m;
    EXPECT_FALSE(SbLoudnessMeasure(Media("hostile-text.mp3").c_str(), nullptr, &m));
    const volatile long stop = 1;
    EXPECT_FALSE(SbLoudnessMeasure(Media("even-tone-loud.wav").c_str(), &stop, &m));
}

TEST(Loudness, TheGainReachesTheTargetWithinItsRangeAndUnderTheCeiling) {
    const struct {
        double lufs, peak, gainDb;
    } cases[] = {
        {-9.0, 0.355, -9.0},   // lowered to the target
        {-24.0, 0.1, 6.0},     // raised to the target
        {-50.0, 0.01, 12.0},   // raised at most 12 dB
        {20.0, 0.5, -30.0},    // lowered at most 30 dB
        {-36.0, 1.0, -1.0},    // a full-scale peak is held at -1 dBFS
        {-HUGE_VAL, 0.0, 0.0}, // silence: unity
        {-75.0, 0.0001, 0.0},  // below the absolute gate: unity
    };
    for (const auto& c : cases) {
        SbLoudness m = {c.lufs, c.peak, true};
        EXPECT_NEAR(20 * std::log10(SbLoudnessGain(m)), c.gainDb, 0.01) << c.lufs;
    }
}

TEST(StreamSource, RefusesMissingFilesAndFolders) {
    EXPECT_EQ(SbSourceOpenFile(nullptr), nullptr);
    EXPECT_EQ(SbSourceOpenFile(""), nullptr);
    EXPECT_EQ(SbSourceOpenFile(Media("no-such-file.mp3").c_str()), nullptr);
    EXPECT_EQ(SbSourceOpenFile(SB_TEST_MEDIA), nullptr);
}

} // namespace
