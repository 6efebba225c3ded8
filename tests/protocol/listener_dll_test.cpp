// The listener's controls through the built DLL and the real engine, judged
// by ear: the capture output records everything the engine mixed, and the
// tests measure the level, pitch and timing of what was heard.
#include "clean_state.h"
#include "host_side.h"
#include "loudness_measure.h"
#include "pcm_compare.h"
#include "plugin_dll.h"
#include "sound_folder.h"
#include "toast_catcher.h"
#include "ui_driver.h"

#include <commctrl.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr double kPi = 3.14159265358979323846;
const char kOptionsCaption[] = "Dialog";
const int kVolumeSlider = 1030; // the Options dialog's trackbar

// A steady sine tone as 16-bit stereo WAV at 44,100 Hz.
std::string ToneWav(double hz, double seconds, double amplitude = 0.5) {
    const uint32_t rate = 44100;
    return SoundFolder::StereoWav(rate, static_cast<uint32_t>(seconds * rate), [&](uint32_t i) {
        const double value = amplitude * std::sin(2 * kPi * hz * i / rate);
        return static_cast<int16_t>(std::lround(value * 32767));
    });
}

// What the engine mixed: the left channel, full scale 1.0.
struct Heard {
    std::vector<float> left;
    double rate = 0;

    size_t At(double seconds) const {
        const double frame = seconds * rate;
        if (frame <= 0)
            return 0;
        return frame >= static_cast<double>(left.size()) ? left.size() : static_cast<size_t>(frame);
    }
    double Seconds() const { return rate > 0 ? static_cast<double>(left.size()) / rate : 0; }
    double Rms(double from, double to) const {
        double sum = 0;
        size_t n = 0;
        for (size_t i = At(from); i < At(to); ++i, ++n)
            sum += static_cast<double>(left[i]) * left[i];
        return n ? std::sqrt(sum / static_cast<double>(n)) : 0;
    }
    double Peak() const {
        double peak = 0;
        for (float v : left)
            peak = std::fmax(peak, std::fabs(v));
        return peak;
    }
    // Zero crossings of [from, to) turned into a frequency.
    double Pitch(double from, double to) const {
        int crossings = 0;
        for (size_t i = At(from) + 1; i < At(to); ++i)
            if ((left[i - 1] < 0) != (left[i] < 0))
                ++crossings;
        return to > from ? crossings / 2.0 / (to - from) : 0;
    }
    // The largest step between neighbouring samples in [from, to): a click
    // or a jump in level shows as a step no smooth tone makes.
    double LargestStep(double from, double to) const {
        double step = 0;
        for (size_t i = At(from) + 1; i < At(to); ++i)
            step = std::fmax(step, std::fabs(static_cast<double>(left[i]) - left[i - 1]));
        return step;
    }
};

// A stretch of sound louder than a level, with the pitch at its middle.
struct Stretch {
    double start, end, hz;
};

// The loud stretches, in 10 ms blocks; a quiet gap of less than 30 ms (a
// sound handing over to the next) does not end one.
std::vector<Stretch> LoudStretches(const Heard& heard, double level = 0.05) {
    std::vector<Stretch> stretches;
    const double block = 0.01;
    double start = -1, lastLoud = -1;
    for (double t = 0; t + block <= heard.Seconds(); t += block) {
        if (heard.Rms(t, t + block) < level)
            continue;
        if (start < 0 || t - lastLoud > 0.03 + 1e-9) {
            if (start >= 0)
                stretches.push_back({start, lastLoud + block, 0});
            start = t;
        }
        lastLoud = t;
    }
    if (start >= 0)
        stretches.push_back({start, lastLoud + block, 0});
    for (Stretch& s : stretches) {
        const double middle = (s.start + s.end) / 2, half = std::fmin(0.1, (s.end - s.start) / 3);
        s.hz = heard.Pitch(middle - half, middle + half);
    }
    return stretches;
}

std::string Describe(const std::vector<Stretch>& stretches) {
    std::string text;
    char line[96];
    for (const Stretch& s : stretches) {
        std::snprintf(line, sizeof line, "[%.3f s - %.3f s, %.0f Hz] ", s.start, s.end, s.hz);
        text += line;
    }
    return text.empty() ? "silence" : text;
}

uint32_t Read32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                 static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
}

// A sound file for the format table, and how it must be answered.
struct FormatCase {
    const char* what;
    std::string bytes;
    const char* ext;
    bool systemCodec;
    double seconds; // 0: refused; below 0: at least this much of the start
    double hz;
};

class ListenerDllTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        folder.PointHostHere();
        capturePath = folder.pluginDir() + "\\heard.wav";
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", ("capture:" + capturePath).c_str());
        dll.Load(SONABELL_DLL_PATH);
    }
    void TearDown() override {
        if (running)
            dll.Uninitialize();
        dll.Unload();
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
        CleanRegistryTest::TearDown();
    }

    struct Byte {
        const char* name;
        int value; // -1: the value is not stored
    };
    // Sounds and toasts switched on, the given listener values stored, and
    // the plug-in started on a fresh capture.
    void Start(std::vector<Byte> values, bool toasts = false) {
        WriteSwitches(true, toasts);
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key));
        for (const Byte& byte : values) {
            if (byte.value < 0)
                continue;
            const BYTE data = static_cast<BYTE>(byte.value);
            RegSetValueExA(key, byte.name, 0, REG_BINARY, &data, 1);
        }
        RegCloseKey(key);
        DeleteFileA(capturePath.c_str());
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        running = true;
    }
    // Opens the Options dialog as the user's command does, runs during in it
    // and closes it with OK.
    void InOptions(const std::function<void(HWND)>& during) {
        UiDriver driver;
        driver.Expect(kOptionsCaption, [&](HWND dialog) {
            during(dialog);
            UiDriver::Click(dialog, IDOK);
        });
        HostBuffer result;
        ASSERT_EQ(1, dll.ParseCommand("/xSBoptions", "", 0, result.data()));
    }
    // Drags the Options dialog's volume slider to position and lets go.
    static void MoveSlider(HWND dialog, int position) {
        HWND slider = GetDlgItem(dialog, kVolumeSlider);
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(slider));
    }
    // Delivers a received sound; the answer must be empty.
    void Receive(const std::string& index) {
        HostBuffer result;
        const std::string code = "SB" + index;
        ASSERT_EQ(1, dll.ReceiveNotify(code.c_str(), 0, 0, result.data())) << code;
        EXPECT_EQ("", result.text()) << code;
    }
    // Stops the plug-in, which closes the capture, and reads what was mixed.
    Heard Stop() {
        Heard heard;
        dll.Uninitialize();
        running = false;
        std::string bytes;
        if (!pcm::ReadFile(capturePath, bytes) || bytes.size() < 44) {
            ADD_FAILURE() << "no capture at " << capturePath;
            return heard;
        }
        // Walk the chunks: the format, then the samples.
        size_t at = 12;
        unsigned channels = 2, bits = 16;
        while (at + 8 <= bytes.size()) {
            const std::string id = bytes.substr(at, 4);
            const uint32_t size = Read32(bytes, at + 4);
            if (id == "fmt ") {
                channels = static_cast<uint8_t>(bytes[at + 10]);
                heard.rate = Read32(bytes, at + 12);
                bits = static_cast<uint8_t>(bytes[at + 22]);
            } else if (id == "data") {
                EXPECT_EQ(16u, bits);
                const size_t end = std::min(bytes.size(), at + 8 + static_cast<size_t>(size));
                for (size_t i = at + 8; i + 2 * channels <= end; i += 2 * channels) {
                    const auto v = static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                                        static_cast<uint8_t>(bytes[i + 1]) << 8);
                    heard.left.push_back(static_cast<float>(v) / 32768.0f);
                }
                break;
            }
            at += 8 + size + (size & 1);
        }
        EXPECT_GT(heard.rate, 0) << "the capture has no format";
        return heard;
    }

    // Under Wine the first open in a process loads GStreamer, a second or
    // more; the codecs are loaded once before anything is judged.
    void WarmUpSystemCodecs() {
        const char* files[] = {"fmt-wma2-1000-1500.wma", "fmt-m4a44-1000-1500.m4a"};
        for (int i = 0; i < 2; ++i) {
            std::string bytes;
            pcm::ReadFile(std::string(SB_TEST_MEDIA) + "/" + files[i], bytes);
            folder.AddFile(std::string("warm-") + files[i], bytes);
            PutSound(std::to_string(98 + i), "warm", std::string("warm-") + files[i], "");
        }
        Start({});
        for (const char* code : {"SB98", "SB99"}) {
            HostBuffer ignored;
            dll.ReceiveNotify(code, 0, 0, ignored.data());
            Sleep(2000);
        }
        Stop();
    }

    // Each case alone on a fresh capture: heard at its length and its pitch
    // in the middle, or answered with the opening error line in time.
    void HearOrRefuseEach(const std::vector<FormatCase>& cases, bool codecsOff);

    PluginDll dll;
    SoundFolder folder;
    std::string capturePath;
    bool running = false;
};

TEST_F(ListenerDllTest, TheStoredVolumeSetsTheLevelHeard) {
    folder.AddFile("1.wav", ToneWav(440, 0.4));
    PutSound("1", "tone", "1.wav", "");
    const struct {
        int stored; // -1: no value
        double gainDb;
    } cases[] = {{-1, 0}, {100, 0}, {255, 0}, {50, -6.02}, {0, -200}};
    double fullRms = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("Volume byte " + std::to_string(c.stored));
        Start({{"Volume", c.stored}});
        // A sound arrives some time after the host started the plug-in.
        Sleep(100);
        Receive("1");
        Sleep(650);
        const Heard heard = Stop();
        if (c.gainDb <= -100) {
            // Silence, yet the sound played: it still took its turn.
            EXPECT_LT(heard.Peak(), 1.0 / 32768 * 2);
            continue;
        }
        const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
        ASSERT_EQ(1u, loud.size()) << Describe(loud);
        EXPECT_NEAR(0.4, loud[0].end - loud[0].start, 0.03);
        EXPECT_NEAR(440, loud[0].hz, 15);
        const double rms = heard.Rms(loud[0].start + 0.05, loud[0].end - 0.05);
        if (c.stored == -1) {
            fullRms = rms;
            EXPECT_NEAR(0.5 / std::sqrt(2.0), rms, 0.02) << "full volume plays the file as it is";
            continue;
        }
        EXPECT_NEAR(c.gainDb, 20 * std::log10(rms / fullRms), 0.5);
    }
}

// The volume stored holds from the very first frame: a sound that arrives
// in the first period after the start, on a fresh load or after an earlier
// run at another volume, is not faded in from the old level.
TEST_F(ListenerDllTest, TheStoredVolumeHoldsFromTheFirstFrameAfterTheStart) {
    folder.AddFile("1.wav", ToneWav(440, 0.2));
    PutSound("1", "tone", "1.wav", "");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "fresh load, volume 0" : "a run at 100, then one at 0");
        if (run == 1) {
            Start({{"Volume", 100}});
            Receive("1");
            Sleep(350);
            Stop();
        }
        Start({{"Volume", 0}});
        Receive("1");
        Sleep(350);
        EXPECT_LT(Stop().Peak(), 1.0 / 32768 * 2);
    }
}

// Volume 0 silences a sound, it does not skip it: with LetFinish on, the
// next sound waits the first's full length. The volume comes up half way
// through the first, so both are heard: the first's end, then the second.
TEST_F(ListenerDllTest, ASoundAtVolumeZeroStillHoldsTheLineToItsEnd) {
    folder.AddFile("1.wav", ToneWav(440, 1.0));
    folder.AddFile("2.wav", ToneWav(880, 0.3));
    PutSound("1", "a", "1.wav", "");
    PutSound("2", "b", "2.wav", "");
    Start({{"Volume", 0}, {"LetFinish", 1}});
    // Where the capture had got to when the sounds arrived: the capture
    // output writes every mixed frame, silent or not, in real time.
    size_t sentAt = 0;
    InOptions([&](HWND dialog) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(capturePath.c_str(), GetFileExInfoStandard, &data) &&
            data.nFileSizeLow > 44)
            sentAt = (data.nFileSizeLow - 44) / 4;
        Receive("1");
        Receive("2");
        Sleep(500);
        MoveSlider(dialog, 100);
    });
    Sleep(1500);
    const Heard heard = Stop();
    const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
    ASSERT_EQ(1u, loud.size()) << "the first's end, then the second: " << Describe(loud);
    const double sent = static_cast<double>(sentAt) / heard.rate;
    EXPECT_NEAR(440, heard.Pitch(loud[0].start + 0.02, loud[0].start + 0.12), 15)
        << "the first was still playing when the volume came up";
    EXPECT_NEAR(880, heard.Pitch(loud[0].end - 0.25, loud[0].end - 0.05), 25);
    EXPECT_NEAR(1.0 + 0.3, loud[0].end - sent, 0.1)
        << "the second starts when the first's full second has played: " << Describe(loud);
}

TEST_F(ListenerDllTest, ASliderMoveDuringPlaybackIsHeardWithoutAClick) {
    folder.AddFile("1.wav", ToneWav(440, 1.6));
    PutSound("1", "tone", "1.wav", "");
    Start({});
    // The sound arrives once the dialog is up, so the move lands half a
    // second into it however long a slow machine takes to show the dialog.
    InOptions([this](HWND dialog) {
        Receive("1");
        Sleep(500);
        MoveSlider(dialog, 50);
    });
    Sleep(1800);
    const Heard heard = Stop();
    EXPECT_EQ(std::string(1, '\x32'),
              GetValue(HKEY_CURRENT_USER, kSettingsKey, "Volume").bytes); // 50, stored
    const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
    ASSERT_EQ(1u, loud.size()) << Describe(loud);
    const double start = loud[0].start;
    EXPECT_NEAR(1.6, loud[0].end - start, 0.05) << "the tone went on to its end";
    // Full before the move, 6 dB down after it.
    const double before = heard.Rms(start + 0.1, start + 0.4);
    const double after = heard.Rms(start + 1.0, start + 1.5);
    EXPECT_NEAR(-6.02, 20 * std::log10(after / before), 0.5);
    // A 440 Hz sine at 0.5 never steps by more than 0.5 * 2 pi * 440 / rate
    // between samples; a jump of the gain would.
    const double smooth = 0.5 * 2 * kPi * 440 / heard.rate;
    EXPECT_LT(heard.LargestStep(start + 0.01, loud[0].end - 0.01), smooth * 1.25);
}

TEST_F(ListenerDllTest, LetFinishPlaysBackToBackSoundsInFullAndInOrder) {
    const double hz[] = {330, 660, 990, 1320, 1760};
    for (int i = 0; i < 5; ++i) {
        const std::string index = std::to_string(i + 1);
        folder.AddFile(index + ".wav", ToneWav(hz[i], 0.3));
        PutSound(index, "t" + index, index + ".wav", "");
    }
    Start({{"LetFinish", 1}});
    // The fifth arrives while one plays and three wait: it is not heard.
    for (const char* index : {"1", "2", "3", "4", "5"})
        Receive(index);
    Sleep(1700);
    const Heard heard = Stop();
    const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
    ASSERT_EQ(1u, loud.size()) << "back to back, without a gap: " << Describe(loud);
    EXPECT_NEAR(1.2, loud[0].end - loud[0].start, 0.05) << "four sounds in full";
    for (int i = 0; i < 4; ++i) {
        const double middle = loud[0].start + 0.3 * i + 0.15;
        EXPECT_NEAR(hz[i], heard.Pitch(middle - 0.1, middle + 0.1), hz[i] * 0.03)
            << "sound " << i + 1;
    }
}

TEST_F(ListenerDllTest, TheLetFinishByteDecidesBetweenWaitingAndReplacing) {
    folder.AddFile("1.wav", ToneWav(440, 0.4));
    folder.AddFile("2.wav", ToneWav(880, 0.4));
    PutSound("1", "a", "1.wav", "");
    PutSound("2", "b", "2.wav", "");
    const struct {
        int stored;
        bool waits;
    } cases[] = {{-1, false}, {0, false}, {1, true}, {2, false}, {255, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("LetFinish byte " + std::to_string(c.stored));
        Start({{"LetFinish", c.stored}});
        Receive("1");
        Sleep(100);
        Receive("2");
        Sleep(800);
        const Heard heard = Stop();
        const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
        ASSERT_EQ(1u, loud.size()) << Describe(loud);
        const double span = loud[0].end - loud[0].start;
        EXPECT_NEAR(c.waits ? 0.8 : 0.5, span, 0.05) << Describe(loud);
        EXPECT_NEAR(880, heard.Pitch(loud[0].end - 0.25, loud[0].end - 0.05), 25);
    }
}

TEST_F(ListenerDllTest, ALimitOfTwoLetsTwoOfFiveBeHeardAndSaysSoOnce) {
    const double hz[] = {330, 660, 990, 1320, 1760};
    for (int i = 0; i < 5; ++i) {
        const std::string index = std::to_string(i + 1);
        folder.AddFile(index + ".wav", ToneWav(hz[i], 0.3));
        PutSound(index, "t" + index, index + ".wav", "");
    }
    Start({{"SoundsPerMinute", 2}}, true);
    ToastCatcher catcher;
    // Five sounds in ten seconds, each heard in full if it is played.
    for (const char* index : {"1", "2", "3", "4", "5"}) {
        Receive(index);
        Sleep(2000);
    }
    const Heard heard = Stop();
    const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
    ASSERT_EQ(2u, loud.size()) << Describe(loud);
    EXPECT_NEAR(330, loud[0].hz, 15);
    EXPECT_NEAR(660, loud[1].hz, 25);
    EXPECT_NEAR(2.0, loud[1].start - loud[0].start, 0.1);
    ASSERT_EQ(1u, catcher.toasts.size());
    EXPECT_EQ(L"Some sounds were not played: more than 2 a minute.", catcher.toasts[0].text);
    EXPECT_EQ(L"Sonabell Plugin", catcher.toasts[0].title);
}

TEST_F(ListenerDllTest, TheSoundsPerMinuteByteSetsTheLimit) {
    folder.AddFile("1.wav", ToneWav(440, 0.3));
    folder.AddFile("2.wav", ToneWav(880, 0.3));
    folder.AddFile("3.wav", ToneWav(1320, 0.3));
    PutSound("1", "a", "1.wav", "");
    PutSound("2", "b", "2.wav", "");
    PutSound("3", "c", "3.wav", "");
    const struct {
        int stored;
        double lastHz; // each sound replaces the one before: the last played is heard
    } cases[] = {{-1, 1320}, {0, 1320}, {1, 440}, {2, 880}, {255, 1320}};
    for (const auto& c : cases) {
        SCOPED_TRACE("SoundsPerMinute byte " + std::to_string(c.stored));
        Start({{"SoundsPerMinute", c.stored}});
        for (const char* index : {"1", "2", "3"})
            Receive(index);
        Sleep(600);
        const Heard heard = Stop();
        const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
        ASSERT_FALSE(loud.empty());
        // Where a device takes its periods slowly, a sound replaced at once
        // can leave a blip apart from the rest; the last one heard decides.
        const Stretch& last = loud.back();
        EXPECT_NEAR(c.lastHz, heard.Pitch(last.end - 0.2, last.end - 0.05), c.lastHz * 0.03)
            << Describe(loud);
        for (size_t i = 0; i + 1 < loud.size(); ++i)
            EXPECT_LT(loud[i].end - loud[i].start, 0.1) << Describe(loud);
    }
}

// The "EvenLoudness" byte through the DLL: two files of one tone 20 dB apart
// are heard at the target loudness with it on, and as they are without it.
// Each is received twice; the second time it is measured whatever the
// machine's pace, and that is what is judged.
TEST_F(ListenerDllTest, TheEvenLoudnessByteEvensWhatIsHeard) {
    folder.AddFile("1.wav", ToneWav(1000, 1.0, 0.5));
    folder.AddFile("2.wav", ToneWav(1000, 1.0, 0.05));
    PutSound("1", "loud", "1.wav", "");
    PutSound("2", "quiet", "2.wav", "");
    const struct {
        int stored;
        bool even;
    } cases[] = {{-1, false}, {1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("EvenLoudness byte " + std::to_string(c.stored));
        Start({{"EvenLoudness", c.stored}});
        for (const char* index : {"1", "2", "1", "2"}) {
            Receive(index);
            Sleep(1300);
        }
        const Heard heard = Stop();
        const std::vector<Stretch> loud = LoudStretches(heard, 0.01);
        ASSERT_EQ(4u, loud.size()) << Describe(loud);
        double lufs[2];
        for (int i = 0; i < 2; ++i) {
            const Stretch& s = loud[2 + i];
            std::vector<float> stereo;
            for (size_t f = heard.At(s.start + 0.05); f < heard.At(s.end - 0.05); ++f)
                stereo.insert(stereo.end(), 2, heard.left[f]);
            lufs[i] = pcm::Lufs(stereo.data(), stereo.size() / 2, heard.rate);
        }
        if (c.even) {
            EXPECT_NEAR(-18.0, lufs[0], 1.0);
            EXPECT_NEAR(-18.0, lufs[1], 1.0);
        } else {
            EXPECT_NEAR(20.0, lufs[0] - lufs[1], 0.5);
        }
    }
}

// Every format a user may have, each alone on a fresh capture: heard at its
// length and its pitch in the middle, or answered with the opening error line
// within the half second ReceiveNotify has. Run a second time in a child
// process without the system's codecs (see below), where only the formats
// they read answer the error line.
std::string Media(const std::string& name) {
    return std::string(SB_TEST_MEDIA) + "/" + name;
}

std::string MediaBytes(const std::string& name, size_t most = std::string::npos) {
    std::string bytes;
    EXPECT_TRUE(pcm::ReadFile(Media(name), bytes)) << name;
    return bytes.substr(0, most);
}

// Set when the table runs without the system's codecs: tests/protocol's
// CMakeLists runs it a second time so, with Wine's wmvcore, mfplat and
// mfreadwrite switched off, as on an "N" edition or a bare XP.
const char kNoSystemCodecs[] = "SB_TEST_NO_SYSTEM_CODECS";

TEST_F(ListenerDllTest, EveryFormatIsHeardAtItsLengthAndPitchOrRefusedInTime) {
    const bool codecsOff = GetEnvironmentVariableA(kNoSystemCodecs, nullptr, 0) > 0;
    std::string opusBroken = MediaBytes("fmt-opusmusic-1000-1500.opus");
    opusBroken[opusBroken.find("OpusHead") + 9] = 0; // no channels
    const std::string wma = MediaBytes("fmt-wma2-1000-1500.wma");
    const std::string asfGuid = wma.substr(0, 16);
    const std::vector<FormatCase> cases = {
        {"WMA v1", MediaBytes("fmt-wma1-1000-1500.wma"), ".wma", true, 1.5, 1000},
        {"WMA v2", wma, ".wma", true, 1.5, 1000},
        {"ASF", MediaBytes("fmt-asf-1000-1500.asf"), ".asf", true, 1.5, 1000},
        {"M4A 44.1 kHz stereo", MediaBytes("fmt-m4a44-1000-1500.m4a"), ".m4a", true, 1.5, 1000},
        {"M4A 48 kHz mono", MediaBytes("fmt-m4a48-440-1500.m4a"), ".m4a", true, 1.5, 440},
        {"AIFF", MediaBytes("fmt-aiff-1000-1000.aiff"), ".aiff", false, 1.0, 1000},
        {"AIFF-C", MediaBytes("fmt-aifc-1000-1000.aifc"), ".aifc", false, 1.0, 1000},
        {"Opus voice", MediaBytes("fmt-opusvoice-440-1500.opus"), ".opus", false, 1.5, 440},
        {"Opus stereo", MediaBytes("fmt-opusmusic-1000-1500.opus"), ".opus", false, 1.5, 1000},
        {"MP3, as ever", MediaBytes("long-440.mp3"), ".mp3", false, 4.0, 440},
        // Damage at the start is refused; further in, what decodes plays.
        {"WMA cut inside its header", wma.substr(0, 300), ".wma", true, 0, 0},
        {"ASF header GUID, then garbage", asfGuid + std::string(4000, '\x5a'), ".wma", true, 0, 0},
        {"ftyp box, no audio track",
         std::string("\0\0\0\x14"
                     "ftypM4A \0\0\0\0M4A ",
                     20) +
             std::string("\0\0\0\x08"
                         "free",
                         8),
         ".m4a", true, 0, 0},
        {"Opus, first page broken", opusBroken, ".opus", false, 0, 0},
        {"WMA cut in the middle", wma.substr(0, wma.size() * 6 / 10), ".wma", true, -0.6, 1000},
    };
    if (!codecsOff)
        WarmUpSystemCodecs();
    HearOrRefuseEach(cases, codecsOff);
}

// What the emulated 32-bit lane can judge of the formats: our own readers
// play at its pace, where Windows' codecs open in seconds.
TEST_F(ListenerDllTest, AiffAndOpusAreHeardThroughOurOwnReaders) {
    HearOrRefuseEach(
        {{"AIFF", MediaBytes("fmt-aiff-1000-1000.aiff"), ".aiff", false, 1.0, 1000},
         {"Opus voice", MediaBytes("fmt-opusvoice-440-1500.opus"), ".opus", false, 1.5, 440}},
        false);
}

void ListenerDllTest::HearOrRefuseEach(const std::vector<FormatCase>& cases, bool codecsOff) {
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string index = std::to_string(++n);
        folder.AddFile(index + c.ext, c.bytes);
        PutSound(index, "f" + index, index + c.ext, "");
        Start({});
        HostBuffer result;
        const std::string code = "SB" + index;
        const DWORD before = GetTickCount();
        ASSERT_EQ(1, dll.ReceiveNotify(code.c_str(), 0, 0, result.data()));
        EXPECT_LT(GetTickCount() - before, 500u) << "answered in time";
        const bool refused = c.seconds == 0 || (codecsOff && c.systemCodec);
        EXPECT_EQ(refused ? kNotOpenedLine : "", result.text());
        Sleep(static_cast<DWORD>(std::fabs(c.seconds) * 1000 + 400));
        const Heard heard = Stop();
        const std::vector<Stretch> loud = LoudStretches(heard, 0.05);
        if (refused) {
            EXPECT_TRUE(loud.empty()) << Describe(loud);
            continue;
        }
        if (loud.size() != 1) {
            ADD_FAILURE() << "not one sound: " << Describe(loud);
            continue;
        }
        const double length = loud[0].end - loud[0].start;
        if (c.seconds > 0)
            EXPECT_NEAR(c.seconds, length, 0.06) << Describe(loud);
        else
            EXPECT_GT(length, -c.seconds) << Describe(loud);
        const double middle = (loud[0].start + loud[0].end) / 2;
        EXPECT_NEAR(c.hz, heard.Pitch(middle - length / 4, middle + length / 4), c.hz * 0.01);
    }
}

// The codecs' objects are let go every time: after a warm-up, 100 plays of
// each format that came later leave the process's handles where they were,
// and its private bytes for our own readers. Under Wine the system codecs'
// GStreamer pipelines leave some 1 to 4 MB per 100 plays behind, with no
// handle among it: bounded here well below what one decode buffer lost per
// play would show (17 MB).
TEST_F(ListenerDllTest, HundredPlaysOfEachNewFormatLeaveMemoryAndHandlesFlat) {
    const char* files[] = {"fmt-wma2-1000-1500.wma", "fmt-m4a44-1000-1500.m4a",
                           "fmt-aiff-1000-1000.aiff", "fmt-opusmusic-1000-1500.opus"};
    const SIZE_T slack[] = {6 << 20, 6 << 20, 256 << 10, 256 << 10};
    CountedWindow window;
    for (int i = 0; i < 4; ++i) {
        const std::string index = std::to_string(i + 1);
        folder.AddFile(index + "-" + files[i], MediaBytes(files[i]));
        PutSound(index, "m" + index, index + "-" + files[i], "");
    }
    WarmUpSystemCodecs();
    Start({});
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(files[i]);
        const std::string index = std::to_string(i + 1);
        auto play = [&](int times) {
            for (int n = 0; n < times; ++n) {
                Receive(index);
                Sleep(5);
            }
        };
        play(10);
        const ResourceCounts before = CurrentResourceCounts();
        ExpectCountsLive(before);
        play(100);
        const ResourceCounts after = CurrentResourceCounts();
        EXPECT_LE(after.handles, before.handles + 2) << "handles";
        EXPECT_LE(after.privateBytes, before.privateBytes + slack[i]) << "private bytes";
        std::printf(
            "%s: private bytes %+.0f KiB over 100 plays\n", files[i],
            (static_cast<double>(after.privateBytes) - static_cast<double>(before.privateBytes)) /
                1024);
    }
}

} // namespace
