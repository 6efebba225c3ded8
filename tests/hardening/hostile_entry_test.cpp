// Hostile command words, parameter texts and notification codes through the
// built DLL: no crash, the documented answer, nothing written past the
// host's buffer, and a registry nobody changed.
#include "plugin_fixture.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kMark = "\x12SB";
const std::string kRawDefault = "\x03"
                                "7Incoming Sonabell Sound(8)";

// Every byte value from 1 to 255 once, in order.
std::string EveryByte() {
    std::string bytes;
    for (int b = 1; b <= 255; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

// n bytes cycling through 1..255.
std::string CyclingBytes(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(1 + i % 255);
    return bytes;
}

class HostileEntryTest : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        PutSound("7", "hi", "hi.mp3", "Hello");
        PutSound("8", EveryByte(), "all.mp3", "all bytes");
        Start(true, false);
        before = SnapshotRegistry();
    }
    void TearDown() override {
        EXPECT_EQ(before, SnapshotRegistry());
        PluginTest::TearDown();
    }
    // Declined: 0 and not one byte of the buffer written.
    void ExpectDeclined(const std::string& word, const std::string& text) {
        HostBuffer result;
        EXPECT_EQ(0, Command(word.c_str(), text.c_str(), result)) << Printable(word);
        EXPECT_TRUE(result.untouched()) << Printable(word);
    }
    void ExpectLine(const std::string& word, const std::string& text, const std::string& line) {
        HostBuffer result;
        EXPECT_EQ(1, Command(word.c_str(), text.c_str(), result)) << Printable(word);
        EXPECT_EQ(kMark + line, result.text()) << Printable(word);
        EXPECT_TRUE(result.tailIntact()) << Printable(word);
    }
    static std::string Printable(const std::string& s) {
        std::string out;
        for (unsigned char c : s.substr(0, 40))
            out += c >= 32 && c < 127 ? std::string(1, static_cast<char>(c))
                                      : "\\x" + std::to_string(c);
        return out + (s.size() > 40 ? "... (" + std::to_string(s.size()) + " bytes)" : "");
    }
    std::string before;
};

TEST_F(HostileEntryTest, CommandWordsOf64KilobytesAreDeclined) {
    const size_t n = 64 * 1024;
    for (const std::string& word :
         {std::string(n, 'a'), "/xSB" + std::string(n, 'h'), "/x" + std::string(n, '7'),
          "/xSB" + CyclingBytes(n), CyclingBytes(n), "/xSBhi" + std::string(n, ' ')})
        ExpectDeclined(word, "text");
}

TEST_F(HostileEntryTest, ParameterTextsOf64KilobytesAreCut) {
    const std::string huge = CyclingBytes(64 * 1024);
    ExpectLine("/xSBhi", huge, "7  " + huge.substr(0, 1017));
    ExpectLine("/x9", huge, "9  " + huge.substr(0, 1000));
    ExpectLine("/x999", std::string(64 * 1024, '\xFF'), "999" + std::string(1000, '\xFF'));
}

TEST_F(HostileEntryTest, EveryByteValueInAParameterTextGoesThroughUnchanged) {
    ExpectLine("/xSBhi", EveryByte(), "7  " + EveryByte());
    ExpectLine("/x42", EveryByte(), "42 " + EveryByte());
    // A command made of every byte value matches itself.
    ExpectLine("/xSB" + EveryByte(), "", "8  all bytes");
}

TEST_F(HostileEntryTest, EveryByteValueAsACommandWord) {
    for (int b = 1; b <= 255; ++b) {
        const std::string c(1, static_cast<char>(b));
        ExpectDeclined(c, "");
        ExpectDeclined("/xSB" + c, "");
        ExpectDeclined(c + c + c + c + c + c, ""); // six bytes: too long for an index
        // The raw-index form reads from the third byte: only 1 to 9 name a sound.
        if (b >= '1' && b <= '9')
            ExpectLine("/x" + c, "", c + "  " + kRawDefault);
        else
            ExpectDeclined("/x" + c, "");
    }
}

TEST_F(HostileEntryTest, NullArgumentsAreRefused) {
    HostBuffer result;
    EXPECT_EQ(0, dll.ParseCommand(nullptr, "x", 0, result.data()));
    EXPECT_EQ(0, dll.ParseCommand("/xSBhi", "x", 0, nullptr));
    EXPECT_EQ(0, dll.ReceiveNotify(nullptr, 0, 0, result.data()));
    EXPECT_EQ(0, dll.ReceiveNotify("SB7", 0, 0, nullptr));
    EXPECT_TRUE(result.untouched());
    EXPECT_EQ(1, dll.ParseCommand("/xSBhi", nullptr, 0, result.data()));
    EXPECT_EQ(kMark + "7  Hello", result.text());
}

TEST_F(HostileEntryTest, TextsEndingAtAnInaccessiblePageAreNotOverRead) {
    GuardedPage wordPage, textPage;
    const struct {
        std::string word, text, line; // empty line: declined
    } cases[] = {
        {"", "", ""},
        {"/", "", ""},
        {"/xSB", "", ""},
        {"/xSBh", "", ""},
        {"/xSBhi", "", "7  Hello"},
        {"/xSBhi", "x", "7  x"},
        {"/xSBhi", std::string(3000, 'p'), "7  " + std::string(1017, 'p')},
        {"/x7", "", "7  " + kRawDefault},
        {"/x7", std::string(999, 'r'), "7  " + std::string(999, 'r')},
        {"/x12345", "", ""},
        {"/x123456789", "", ""},
    };
    for (const auto& c : cases) {
        const char* word = wordPage.PlaceAtEnd(c.word + '\0');
        const char* text = textPage.PlaceAtEnd(c.text + '\0');
        HostBuffer result;
        int handled = dll.ParseCommand(word, text, 0, result.data());
        EXPECT_EQ(c.line.empty() ? 0 : 1, handled) << c.word;
        if (!c.line.empty()) {
            EXPECT_EQ(kMark + c.line, result.text()) << c.word;
        }
    }
}

// What ReceiveNotify must answer for a code; sound 7's file is missing.
struct NotifyCase {
    std::string code;
    bool sound; // true: 1 with the missing-file line; false: 0, untouched
};

class HostileNotifyTest : public HostileEntryTest {
  protected:
    void Expect(const NotifyCase& c, const char* code) {
        HostBuffer result;
        int handled = Notify(code, result);
        EXPECT_EQ(c.sound ? 1 : 0, handled) << Printable(c.code);
        if (c.sound) {
            EXPECT_EQ(kMissingLine, result.text()) << Printable(c.code);
        } else {
            EXPECT_TRUE(result.untouched()) << Printable(c.code);
        }
        EXPECT_TRUE(result.tailIntact()) << Printable(c.code);
    }
};

TEST_F(HostileNotifyTest, EveryPrefixVariant) {
    const NotifyCase cases[] = {
        {"", false},      {"S", false},       {"B", false},      {"SB", false},
        {"sb7", false},   {"sB7", false},     {"Sb7", false},    {"BS7", false},
        {"S B7", false},  {"SSB7", false},    {" SB7", false},   {"\x12SB7", false},
        {"SB 7", false},  {"SB+7", false},    {"SB-7", false},   {"SB0", false},
        {"SB00", false},  {"SB000", false},   {"SB0007", false}, {"SB\xD9\xA3", false},
        {"SB7", true},    {"SB07", true},     {"SB007", true},   {"SB7  hi", true},
        {"SB1234", true}, {"SB999999", true}, {"SB9x", true},    {"SB12\x01", true},
    };
    for (const NotifyCase& c : cases)
        Expect(c, c.code.c_str());
}

TEST_F(HostileNotifyTest, EveryByteValueAfterThePrefixAndInFront) {
    for (int b = 1; b <= 255; ++b) {
        const std::string c(1, static_cast<char>(b));
        Expect({"SB" + c, b >= '1' && b <= '9'}, ("SB" + c).c_str());
        Expect({c + "B7", b == 'S'}, (c + "B7").c_str());
        Expect({"S" + c + "7", b == 'B'}, ("S" + c + "7").c_str());
    }
}

TEST_F(HostileNotifyTest, CodesOf64KilobytesReadOnlyTheirHead) {
    for (const NotifyCase& c : {NotifyCase{"SB7" + CyclingBytes(64 * 1024), true},
                                NotifyCase{"SB" + std::string(64 * 1024, '7'), true},
                                NotifyCase{"SB" + std::string(64 * 1024, '0'), false},
                                NotifyCase{std::string(64 * 1024, 'S'), false}})
        Expect(c, c.code.c_str());
}

TEST_F(HostileNotifyTest, TerminatedCodesEndingAtAnInaccessiblePage) {
    GuardedPage page;
    for (const NotifyCase& c :
         {NotifyCase{"", false}, NotifyCase{"S", false}, NotifyCase{"SB", false},
          NotifyCase{"SB7", true}, NotifyCase{"SB07", true}, NotifyCase{"SB123", true},
          NotifyCase{"SB1234", true}, NotifyCase{"SBx", false}, NotifyCase{"SB0", false}})
        Expect(c, page.PlaceAtEnd(c.code + '\0'));
}

TEST_F(HostileNotifyTest, UnterminatedCodesDecidedWithinTheirBytes) {
    // No zero anywhere: a reader that looks further than "SB" and three
    // digits (or the first byte that settles it) faults on the next page.
    GuardedPage page;
    for (const NotifyCase& c :
         {NotifyCase{"SB123", true}, NotifyCase{"SB007", true}, NotifyCase{"SB7x", true},
          NotifyCase{"SB12 ", true}, NotifyCase{"SB000", false}, NotifyCase{"SB0x", false},
          NotifyCase{"SBx", false}, NotifyCase{"sb", false}, NotifyCase{"X", false},
          NotifyCase{"Sx", false}})
        Expect(c, page.PlaceAtEnd(c.code));
}

} // namespace
