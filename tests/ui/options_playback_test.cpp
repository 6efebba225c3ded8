// The Options dialog's playback group, driven as a user would: each change
// is heard and stored the moment it is made, and OK and Cancel keep it.
#include "ui_test_support.h"

#include "database/settings.h"
#include "host/plugin.h"
#include "recording_engine.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/ui_entry.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::GetValue;
using testing_support::kSettingsKey;
using testing_support::UiDriver;
using namespace ui_test;

namespace {

INT_PTR OpenOptions() {
    return DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_OPTIONS), nullptr, OptionsProc, 0);
}

std::string Stored(const char* name) {
    auto value = GetValue(HKEY_CURRENT_USER, kSettingsKey, name);
    if (!value.present)
        return "absent";
    if (value.type != REG_BINARY || value.bytes.size() != 1)
        return "not one binary byte";
    return std::to_string(static_cast<unsigned char>(value.bytes[0]));
}

std::string LastControlCall() {
    return recording_engine::controlCalls.empty() ? "none" : recording_engine::controlCalls.back();
}

class OptionsPlaybackTest : public UiTest {};

TEST_F(OptionsPlaybackTest, OpensOnTheSettingsInForceAndStoresNothing) {
    testing_support::CreateSettingsKey();
    playbackVolume = 40;
    letSoundsFinish = true;
    evenLoudness = true;
    soundsPerMinute = 12;
    const std::string before = testing_support::SnapshotRegistry();
    LRESULT position = -1, rangeMax = -1, spinRange = -1;
    UINT letFinish = 99, even = 99;
    std::string shownVolume, shownLimit;
    driver.Expect(kOptions, [&](HWND dialog) {
        HWND slider = GetDlgItem(dialog, IDC_VOLUME);
        position = SendMessageA(slider, TBM_GETPOS, 0, 0);
        rangeMax = SendMessageA(slider, TBM_GETRANGEMAX, 0, 0);
        spinRange = SendDlgItemMessageA(dialog, IDC_SOUNDS_PER_MINUTE_SPIN, UDM_GETRANGE, 0, 0);
        shownVolume = UiDriver::ControlText(dialog, IDC_VOLUME_VALUE);
        letFinish = IsDlgButtonChecked(dialog, IDC_LET_FINISH);
        even = IsDlgButtonChecked(dialog, IDC_EVEN_LOUDNESS);
        shownLimit = UiDriver::ControlText(dialog, IDC_SOUNDS_PER_MINUTE);
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(1, OpenOptions());
    EXPECT_EQ(40, position);
    EXPECT_EQ(100, rangeMax);
    EXPECT_EQ(MAKELONG(255, 0), spinRange); // high word the least
    EXPECT_EQ("40%", shownVolume);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), letFinish);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), even);
    EXPECT_EQ("12", shownLimit);
    EXPECT_EQ(before, testing_support::SnapshotRegistry());
    EXPECT_TRUE(recording_engine::controlCalls.empty());
}

TEST_F(OptionsPlaybackTest, EverySliderStepIsHeardAndStoredAtOnce) {
    testing_support::CreateSettingsKey();
    struct Step {
        std::string how;
        int volume;
        std::string stored, heard, shown;
    };
    std::vector<Step> steps;
    driver.Expect(kOptions, [&](HWND dialog) {
        HWND slider = GetDlgItem(dialog, IDC_VOLUME);
        auto record = [&](const std::string& how) {
            steps.push_back({how, playbackVolume, Stored("Volume"), LastControlCall(),
                             UiDriver::ControlText(dialog, IDC_VOLUME_VALUE)});
        };
        const struct {
            const char* how;
            WPARAM key;
        } keys[] = {{"left", VK_LEFT}, {"page up", VK_PRIOR}, {"home", VK_HOME}, {"end", VK_END}};
        for (const auto& key : keys) {
            SendMessageA(slider, WM_KEYDOWN, key.key, 0);
            SendMessageA(slider, WM_KEYUP, key.key, 0);
            record(key.how);
        }
        // Dragging the thumb: the dialog hears every position on the way.
        for (int position : {73, 50}) {
            SendMessageA(slider, TBM_SETPOS, TRUE, position);
            SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                         reinterpret_cast<LPARAM>(slider));
            record("drag");
        }
        UiDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(2, OpenOptions());
    const std::vector<std::pair<int, std::string>> expected = {
        {99, "99%"}, {89, "89%"}, {0, "0%"}, {100, "100%"}, {73, "73%"}, {50, "50%"}};
    ASSERT_EQ(expected.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].how);
        EXPECT_EQ(expected[i].first, steps[i].volume);
        EXPECT_EQ(std::to_string(expected[i].first), steps[i].stored);
        EXPECT_EQ("SbEngineSetVolume(" + std::to_string(expected[i].first) + ")", steps[i].heard);
        EXPECT_EQ(expected[i].second, steps[i].shown);
    }
    // Cancel undid nothing; the key-ups and the end of each move stored
    // nothing more.
    EXPECT_EQ(50, playbackVolume);
    EXPECT_EQ("50", Stored("Volume"));
    EXPECT_EQ(6u, recording_engine::controlCalls.size());
}

TEST_F(OptionsPlaybackTest, EachCheckboxIsStoredAtEachClick) {
    const struct {
        int id;
        const char* value;
        bool* setting;
        bool* engine; // the engine's switch, where the box has one
    } boxes[] = {
        {IDC_LET_FINISH, "LetFinish", &letSoundsFinish, nullptr},
        {IDC_EVEN_LOUDNESS, "EvenLoudness", &evenLoudness, &recording_engine::evenLoudness}};
    for (const auto& box : boxes) {
        SCOPED_TRACE(box.value);
        testing_support::CreateSettingsKey();
        *box.setting = false;
        std::vector<std::string> stored;
        std::vector<bool> inMemory, inEngine;
        driver.Expect(kOptions, [&](HWND dialog) {
            for (int click = 0; click < 2; ++click) {
                SendMessageA(GetDlgItem(dialog, box.id), BM_CLICK, 0, 0);
                stored.push_back(Stored(box.value));
                inMemory.push_back(*box.setting);
                inEngine.push_back(box.engine ? *box.engine : *box.setting);
            }
            SendMessageA(GetDlgItem(dialog, box.id), BM_CLICK, 0, 0);
            UiDriver::Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(2, OpenOptions());
        EXPECT_EQ((std::vector<std::string>{"1", "0"}), stored);
        EXPECT_EQ((std::vector<bool>{true, false}), inMemory);
        EXPECT_EQ(inMemory, inEngine);
        EXPECT_TRUE(*box.setting);
        EXPECT_EQ("1", Stored(box.value));
    }
}

TEST_F(OptionsPlaybackTest, TheNumberBoxStoresWhatIsTypedWithinItsRange) {
    testing_support::CreateSettingsKey();
    struct Step {
        std::string typed;
        int limit;
        std::string stored, shown;
    };
    std::vector<Step> steps;
    driver.Expect(kOptions, [&](HWND dialog) {
        HWND box = GetDlgItem(dialog, IDC_SOUNDS_PER_MINUTE);
        auto record = [&](const std::string& typed) {
            steps.push_back({typed, soundsPerMinute, Stored("SoundsPerMinute"),
                             UiDriver::ControlText(dialog, IDC_SOUNDS_PER_MINUTE)});
        };
        for (const char* typed : {"12", "300", "", "0", "7"}) {
            Type(dialog, IDC_SOUNDS_PER_MINUTE, typed);
            record(typed);
        }
        // The arrows step from what the box shows.
        SetFocus(box);
        SendMessageA(box, WM_KEYDOWN, VK_UP, 0);
        SendMessageA(box, WM_KEYUP, VK_UP, 0);
        record("arrow up");
        // Left empty, the box shows the limit in force again.
        Type(dialog, IDC_SOUNDS_PER_MINUTE, "");
        SetFocus(GetDlgItem(dialog, IDC_LET_FINISH));
        record("left empty");
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(1, OpenOptions());
    const std::vector<Step> expected = {{"12", 12, "12", "12"},     {"300", 255, "255", "255"},
                                        {"", 255, "255", ""},       {"0", 0, "0", "0"},
                                        {"7", 7, "7", "7"},         {"arrow up", 8, "8", "8"},
                                        {"left empty", 8, "8", "8"}};
    ASSERT_EQ(expected.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(expected[i].typed);
        EXPECT_EQ(expected[i].limit, steps[i].limit);
        EXPECT_EQ(expected[i].stored, steps[i].stored);
        EXPECT_EQ(expected[i].shown, steps[i].shown);
    }
}

TEST_F(OptionsPlaybackTest, TestPlaysTheChimeOrSaysWhyItCannot) {
    HWND options = nullptr;
    driver.Expect(kOptions, [&](HWND dialog) {
        options = dialog;
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_CHIME, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_TEST_CHIME)));
        recording_engine::chimeFailure = "no audio output device was found";
        UiDriver::Click(dialog, IDC_TEST_CHIME);
    });
    std::string boxText = "never shown";
    driver.Expect("Sonabell Plugin", [&](HWND box) {
        boxText = driver.seen.back().text;
        UiDriver::Click(box, IDOK);
        UiDriver::Click(options, IDOK);
    });
    EXPECT_EQ(1, OpenOptions());
    EXPECT_EQ((std::vector<std::string>{"SbEnginePlayChime() -> 1", "SbEnginePlayChime() -> 0"}),
              recording_engine::controlCalls);
    EXPECT_NE(std::string::npos, boxText.find("could not be played")) << boxText;
    EXPECT_NE(std::string::npos, boxText.find("no audio output device was found")) << boxText;
}

TEST_F(OptionsPlaybackTest, WithoutTheSettingsKeyTheFirstChangeCreatesIt) {
    driver.Expect(kOptions, [&](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_VOLUME), WM_KEYDOWN, VK_HOME, 0);
        SendMessageA(GetDlgItem(dialog, IDC_LET_FINISH), BM_CLICK, 0, 0);
        Type(dialog, IDC_SOUNDS_PER_MINUTE, "9");
        UiDriver::Click(dialog, IDOK);
    });
    EXPECT_TRUE(RunOptionsDialog());
    EXPECT_EQ(0, playbackVolume);
    EXPECT_EQ("SbEngineSetVolume(0)", LastControlCall());
    EXPECT_TRUE(letSoundsFinish);
    EXPECT_EQ(9, soundsPerMinute);
    EXPECT_EQ("0", Stored("Volume"));
    EXPECT_EQ("1", Stored("LetFinish"));
    EXPECT_EQ("9", Stored("SoundsPerMinute"));
}

TEST_F(OptionsPlaybackTest, HelpExplainsThePlaybackOptions) {
    std::string help;
    driver.Expect(kHelp, [&](HWND dialog) {
        help = UiDriver::ControlText(dialog, IDC_HELP_TEXT);
        UiDriver::Click(dialog, IDOK);
    });
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_HELP), nullptr, OkCancelProc, 0);
    for (const char* words :
         {"Volume", "Test plays a short chime", "Let a sound finish", "Up to 3 wait",
          "received sounds a minute", "0 = no limit", "Even out the loudness of sounds"})
        EXPECT_NE(std::string::npos, help.find(words)) << words;
}

} // namespace
