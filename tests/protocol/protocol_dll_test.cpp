// The protocol through the built DLL, loaded by path exactly as the host does.
// The DLL carries whatever engine the build links; these tests only need one
// that opens and starts the files the sound folder holds.
#include "clean_state.h"
#include "host_side.h"
#include "plugin_dll.h"
#include "sound_folder.h"
#include "toast_catcher.h"
#include "ui_driver.h"

#include <fstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kMark = "\x12SB";
const std::string kRawDefault = "\x03"
                                "7Incoming Sonabell Sound(8)";
class ProtocolDllTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        folder.PointHostHere();
        dll.Load(SONABELL_DLL_PATH);
    }
    void TearDown() override {
        if (initialized)
            dll.Uninitialize();
        dll.Unload();
        CleanRegistryTest::TearDown();
    }
    void Start(bool sounds = true, bool toasts = false) {
        WriteSwitches(sounds, toasts);
        ASSERT_EQ(1, dll.Initialize(0, 0, 0));
        initialized = true;
    }
    int Notify(const char* code, HostBuffer& result) {
        return dll.ReceiveNotify(code, 0, 0, result.data());
    }
    PluginDll dll;
    SoundFolder folder;
    bool initialized = false;
};

TEST_F(ProtocolDllTest, ExportsTheProtocolByPlainName) {
    EXPECT_NE(nullptr, dll.ParseCommand);
    EXPECT_NE(nullptr, dll.ReceiveNotify);
    EXPECT_NE(nullptr, dll.DisplayToast);
    EXPECT_NE(nullptr, dll.DisplayToastW);
}

TEST_F(ProtocolDllTest, CommandWordsAndParameterTexts) {
    PutSound("7", "hi", "hi.mp3", "Hello");
    PutSound("12a", "pack", "p.mp3", "Pack message");
    PutSound("3", "about", "a.mp3", "shadowed by the keyword");
    PutSound("20", "dup", "d1.mp3", "first");
    PutSound("21", "DUP", "d2.mp3", "second");
    PutSound("1234", "long", "l.mp3", "L");
    Start();
    const std::string d = kRawDefault;
    const struct {
        const char* word;
        const char* text;
        std::string line; // empty: declined, result untouched
    } cases[] = {
        // The sound-command form, letter case ignored in prefix and command.
        {"/xSBhi", "", "7  Hello"},
        {"/XSBHI", "yo", "7  yo"},
        {"/xsbHi", "", "7  Hello"},
        {"/xSBpack", "", "12 Pack message"}, // index field fix-up
        {"/xSBlong", "x", "1234x"},          // a long index text goes whole
        {"/xSBdup", "", "20 first"},         // lowest slot of two equal commands
        // The raw-index form: no table lookup, the first two characters unread.
        {"/x12", "hey", "12 hey"},
        {"/x7", "", "7  " + d},
        {"/x012", "", "012" + d},
        {"/x1a2", "a", "1  a"},
        {"ab12", "", "12 " + d},
        {"/x5", "five", "5  five"},
        // Declined.
        {"/x0", "", ""},
        {"/x000", "", ""},
        {"/xab", "", ""},
        {"/x123456", "", ""},
        {"/x", "", ""},
        {"", "", ""},
        {"/xSB", "", ""},
        {"/xSBnope", "text", ""},
        {"/xSB12", "", ""},
        {"hi", "", ""},
    };
    for (const auto& c : cases) {
        HostBuffer result;
        int handled = dll.ParseCommand(c.word, c.text, 0, result.data());
        if (c.line.empty()) {
            EXPECT_EQ(0, handled) << c.word;
            EXPECT_TRUE(result.untouched()) << c.word;
            continue;
        }
        EXPECT_EQ(1, handled) << c.word;
        EXPECT_EQ(kMark + c.line, result.text()) << c.word;
        EXPECT_TRUE(result.tailIntact()) << c.word;
    }
}

TEST_F(ProtocolDllTest, LongTextsAreCutToTheResultBuffer) {
    PutSound("7", "hi", "hi.mp3", "Hello");
    PutSound("8", "chatty", "c.mp3", std::string(2000, 'c'));
    Start();
    const std::string huge(64 * 1024, 'p');
    const struct {
        const char* word;
        std::string text;
        std::string line;
    } cases[] = {
        {"/xSBhi", huge, "7  " + huge.substr(0, 1017)},
        {"/xSBhi", std::string(1017, 'p'), "7  " + std::string(1017, 'p')},
        {"/xSBchatty", "", "8  " + std::string(1017, 'c')},
        {"/x9", std::string(1500, 'p'), "9  " + std::string(1000, 'p')},
        {"/x9", huge, "9  " + huge.substr(0, 1000)},
    };
    for (const auto& c : cases) {
        HostBuffer result;
        ASSERT_EQ(1, dll.ParseCommand(c.word, c.text.c_str(), 0, result.data())) << c.word;
        EXPECT_EQ(kMark + c.line, result.text()) << c.word << " " << c.text.size();
        EXPECT_TRUE(result.tailIntact()) << c.word;
    }
}

TEST_F(ProtocolDllTest, KeywordsWinOverSoundsAndNeverSendALine) {
    PutSound("3", "about", "a.mp3", "shadowed");
    PutSound("4", "Config", "c.mp3", "shadowed");
    PutSound("5", "options", "o.mp3", "shadowed");
    PutSound("6", "dumpdatabase", "d.mp3", "shadowed");
    Start();
    // Each dialog or message box the keyword opens is cancelled at once by
    // the driver. About writes nothing; the others answer an empty text.
    UiDriver driver;
    const struct {
        const char* word;
        bool writesEmptyText;
    } cases[] = {{"/xSBabout", false},
                 {"/XSBCONFIG", true},
                 {"/xSBOptions", true},
                 {"/xSBDumpDatabase", true}};
    for (const auto& c : cases) {
        HostBuffer result;
        EXPECT_EQ(1, dll.ParseCommand(c.word, "", 0, result.data())) << c.word;
        if (c.writesEmptyText)
            EXPECT_EQ("", result.text()) << c.word;
        else
            EXPECT_TRUE(result.untouched()) << c.word;
        EXPECT_TRUE(result.tailIntact()) << c.word;
    }
}

TEST_F(ProtocolDllTest, NotificationCodesThatAreNotSoundsAreDeclined) {
    folder.AddFile("7.mp3");
    Start();
    for (const char* code :
         {"", "S", "SB", "sb7", "Sb7", "SB0", "SB000", "SBx", " SB7", "SB 7", "\x12SB7  hi"}) {
        HostBuffer result;
        EXPECT_EQ(0, Notify(code, result)) << code;
        EXPECT_TRUE(result.untouched()) << code;
    }
}

TEST_F(ProtocolDllTest, ExistingFilesPlayAndLeadingZerosNameTheirOwnFile) {
    PutSound("7", "hi", "seven.wav", "Hello");
    folder.AddFile("007.mp3");
    Start();
    HostBuffer result;
    ASSERT_EQ(1, Notify("SB7  Hello", result));
    EXPECT_EQ(kMissingLine, result.text()) << "seven.wav is not installed";
    HostBuffer zeros;
    ASSERT_EQ(1, Notify("SB007", zeros));
    EXPECT_EQ("", zeros.text());
    folder.AddFile("seven.wav");
    HostBuffer now;
    ASSERT_EQ(1, Notify("SB7  Hello", now));
    EXPECT_EQ("", now.text());
    EXPECT_EQ(std::string(kHostCapacity + 63, '\xA5'), now.bytes.substr(1));
}

TEST_F(ProtocolDllTest, WithSoundsOffAnExistingFileAnswersEmpty) {
    folder.AddFile("1.mp3");
    Start(false, false);
    HostBuffer result;
    ASSERT_EQ(1, Notify("SB1", result));
    EXPECT_EQ("", result.text());
}

TEST_F(ProtocolDllTest, AMissingFileGivesTheErrorLineOrAToast) {
    Start(true, false);
    HostBuffer line;
    {
        ToastCatcher catcher;
        ASSERT_EQ(1, Notify("SB9", line));
        EXPECT_TRUE(catcher.toasts.empty());
    }
    EXPECT_EQ(kMissingLine, line.text());
    EXPECT_TRUE(line.tailIntact());

    dll.Uninitialize();
    Start(true, true);
    ToastCatcher catcher;
    HostBuffer quiet;
    ASSERT_EQ(1, Notify("SB9", quiet));
    EXPECT_EQ("", quiet.text());
    ASSERT_EQ(1u, catcher.toasts.size());
    EXPECT_EQ(L"Sonabell Plugin", catcher.toasts[0].title);
    EXPECT_EQ(L"Sorry you do not have the file requested installed on your computer",
              catcher.toasts[0].text);
    EXPECT_EQ(0u, catcher.toasts[0].param);
    EXPECT_EQ(0, catcher.toasts[0].flag);
    EXPECT_EQ(0, catcher.toasts[0].lParam);
}

TEST_F(ProtocolDllTest, WithoutPluginDirTheSoundsLieBesideTheDll) {
    ResetRegistry(); // no host key at all
    const std::string sounds = ModuleFolder(dll.module) + "\\Sonabell";
    const std::string file = "sb-fallback-" + std::to_string(GetCurrentProcessId()) + ".mp3";
    PutSound("77", "fb", file, "");
    Start(true, false);
    HostBuffer missing;
    ASSERT_EQ(1, Notify("SB77", missing));
    EXPECT_EQ(kMissingLine, missing.text());

    CreateDirectoryA(sounds.c_str(), nullptr);
    { std::ofstream(sounds + "\\" + file, std::ios::binary) << SoundFolder::ShortWav(); }
    HostBuffer found;
    ASSERT_EQ(1, Notify("SB77", found));
    EXPECT_EQ("", found.text());
    dll.Uninitialize();
    initialized = false;
    DeleteFileA((sounds + "\\" + file).c_str());
    RemoveDirectoryA(sounds.c_str()); // only when nothing else is in it
}

TEST_F(ProtocolDllTest, ToastRecordsCarryTitleTextParamAndFlag) {
    ToastCatcher catcher;
    const char text[] = "M", title[] = "T";
    const wchar_t wideText[] = L"M\x263A", wideTitle[] = L"T\x263A";
    const struct {
        bool wide;
        UINT_PTR param, flag;
        INT_PTR storedFlag;
    } cases[] = {{false, 0, 0, 0},      {false, 0x1234, 1, -1}, {false, 7, 256, 0},
                 {false, 0, 0x1FF, -1}, {true, 0, 0, 0},        {true, 99, 1, -1}};
    for (const auto& c : cases) {
        catcher.toasts.clear();
        if (c.wide)
            dll.DisplayToastW(wideText, wideTitle, c.param, c.flag);
        else
            dll.DisplayToast(text, title, c.param, c.flag);
        ASSERT_EQ(1u, catcher.toasts.size());
        const CaughtToast& toast = catcher.toasts[0];
        EXPECT_EQ(c.wide ? static_cast<const void*>(wideTitle) : title, toast.titleAddress);
        EXPECT_EQ(c.wide ? static_cast<const void*>(wideText) : text, toast.textAddress);
        EXPECT_EQ(c.wide ? std::wstring(wideTitle) : L"T", toast.title);
        EXPECT_EQ(c.wide ? std::wstring(wideText) : L"M", toast.text);
        EXPECT_EQ(c.param, toast.param);
        EXPECT_EQ(c.storedFlag, toast.flag) << c.flag;
        EXPECT_EQ(c.wide ? 1 : 0, toast.lParam);
    }
}

} // namespace
