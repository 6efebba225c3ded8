// The protocol's pure text: index fields, sound lines, raw-index words and
// notification codes, with the result buffer's bounds.
#include "host/sound_line.h"

#include "database/sound_table.h"
#include "host/host_contract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kMark = "\x12SB";
const std::string kRawDefault = "\x03"
                                "7Incoming Sonabell Sound(8)";

// A result buffer with canary bytes after its capacity, which must survive.
struct Buffer {
    explicit Buffer(size_t size) : capacity(size), bytes(size + 64, '\xA5') {}
    char* data() { return &bytes[0]; }
    std::string text() const { return std::string(bytes.c_str()); }
    bool untouched() const { return bytes == std::string(capacity + 64, '\xA5'); }
    bool tailIntact() const { return bytes.substr(capacity) == std::string(64, '\xA5'); }
    size_t capacity;
    std::string bytes;
};

TEST(IndexField, PadsToThreeAndBlanksNonDigitsAmongTheFirstThree) {
    const struct {
        const char* indexText;
        const char* field;
    } cases[] = {
        {"7", "7  "},   {"12", "12 "},    {"999", "999"},   {"12a", "12 "},
        {"a", "   "},   {"", "   "},      {"1234", "1234"}, {"a234", " 234"},
        {"1 2", "1 2"}, {"x9yz", " 9 z"}, {"-5", " 5 "},
    };
    for (const auto& c : cases) {
        char field[16];
        WriteIndexField(field, sizeof field, c.indexText);
        EXPECT_EQ(std::string(c.field), field) << "'" << c.indexText << "'";
    }
}

TEST(SoundLine, IsMarkTagFieldAndMessage) {
    Buffer result(kResultCapacity);
    EXPECT_EQ(11u, WriteSoundLine(result.data(), kResultCapacity, "7", "Hello"));
    EXPECT_EQ(kMark + "7  Hello", result.text());
    WriteSoundLine(result.data(), kResultCapacity, "12a", "");
    EXPECT_EQ(kMark + "12 ", result.text());
}

TEST(SoundLine, MessageIsCutSoTheLineAndItsZeroFit) {
    for (size_t length : {1016u, 1017u, 1018u, 5000u, 65536u}) {
        Buffer result(kResultCapacity);
        const std::string message(length, 'm');
        size_t written = WriteSoundLine(result.data(), kResultCapacity, "7", message.c_str());
        EXPECT_EQ(6 + std::min<size_t>(length, 1017), written) << length;
        EXPECT_EQ(kMark + "7  " + message.substr(0, 1017), result.text()) << length;
        EXPECT_TRUE(result.tailIntact()) << length;
    }
}

TEST(SoundLine, TinyCapacitiesAreNeverOverrun) {
    const std::string longIndex(40, '4');
    for (size_t capacity = 0; capacity < 12; ++capacity) {
        Buffer line(capacity), raw(capacity), field(capacity), text(capacity);
        WriteSoundLine(line.data(), capacity, longIndex.c_str(), "message");
        WriteRawIndexLine(raw.data(), capacity, "12", "");
        WriteIndexField(field.data(), capacity, "7");
        WriteBoundedText(text.data(), capacity, "some text");
        for (Buffer* b : {&line, &raw, &field, &text}) {
            EXPECT_TRUE(b->tailIntact()) << capacity;
            if (capacity > 0) {
                EXPECT_LT(b->text().size(), capacity) << capacity;
            }
        }
        if (capacity == 0) {
            EXPECT_TRUE(line.untouched() && raw.untouched() && field.untouched() &&
                        text.untouched());
        }
    }
}

TEST(RawIndex, ReadsUpToThreeDigitsFromTheThirdCharacterOfShortWords) {
    const struct {
        const char* word;
        const char* digits; // null: not a raw-index word
    } cases[] = {
        {"/x12", "12"},      {"/x7", "7"},        {"/x012", "012"},  {"/x1a2", "1"},
        {"ab12", "12"},      {"xx001", "001"},    {"/x999", "999"},  {"/x0", nullptr},
        {"/x000", nullptr},  {"/xab", nullptr},   {"/x", nullptr},   {"", nullptr},
        {"/x1234", nullptr}, {"abcdef", nullptr}, {"/xSB", nullptr}, {"xx00a", nullptr},
        {"/x 12", nullptr},
    };
    for (const auto& c : cases) {
        char digits[4] = "zzz";
        bool read = ReadRawIndex(c.word, digits);
        EXPECT_EQ(c.digits != nullptr, read) << c.word;
        if (c.digits && read) {
            EXPECT_STREQ(c.digits, digits) << c.word;
        }
    }
}

TEST(RawIndex, LineTakesTheFirstThousandCharactersOrTheDefault) {
    Buffer result(kResultCapacity);
    WriteRawIndexLine(result.data(), kResultCapacity, "12", "hey");
    EXPECT_EQ(kMark + "12 hey", result.text());
    WriteRawIndexLine(result.data(), kResultCapacity, "7", "");
    EXPECT_EQ(kMark + "7  " + kRawDefault, result.text());
    EXPECT_EQ(28u, kRawDefault.size());
    for (size_t length : {999u, 1000u, 1001u, 1500u, 65536u}) {
        const std::string text(length, 't');
        EXPECT_EQ(6 + std::min<size_t>(length, 1000),
                  WriteRawIndexLine(result.data(), kResultCapacity, "5", text.c_str()));
        EXPECT_EQ(kMark + "5  " + text.substr(0, 1000), result.text());
        EXPECT_TRUE(result.tailIntact());
    }
}

TEST(NotificationCode, IsSBThenOneToThreeDigitsThatAreNotZero) {
    const struct {
        const char* code;
        const char* digits;
    } cases[] = {
        {"SB7  hi", "7"},   {"SB1234", "123"}, {"SB007", "007"},  {"SB010x", "010"},
        {"SB999", "999"},   {"sb7", nullptr},  {"Sb7", nullptr},  {"SB0", nullptr},
        {"SB000", nullptr}, {"SBx7", nullptr}, {"SB", nullptr},   {"S", nullptr},
        {"", nullptr},      {" SB7", nullptr}, {"SB 7", nullptr},
    };
    for (const auto& c : cases) {
        char digits[4] = "zzz";
        bool read = ReadNotificationIndex(c.code, digits);
        EXPECT_EQ(c.digits != nullptr, read) << c.code;
        if (c.digits && read) {
            EXPECT_STREQ(c.digits, digits) << c.code;
        }
    }
}

class FormatCommandTest : public ::testing::Test {
  protected:
    void SetUp() override { table = SoundTable{}; }
    void TearDown() override {
        for (int i = 0; i < table.count; ++i)
            DestroySoundRecord(table.slots[i]);
    }
    void Add(const char* index, const char* command, const char* message) {
        SoundRecord* record = CreateSoundRecord(false);
        SetRecordText(&record->indexText, index);
        SetRecordText(&record->command, command);
        SetRecordText(&record->filename, "f.mp3");
        SetRecordText(&record->message, message);
        table.slots[table.count++] = record;
    }
    CommandOutcome Run(const char* word, const char* text, Buffer& result) {
        keyword = -1;
        return FormatCommand(word, text, table, EqualNoCaseAscii, result.data(), kResultCapacity,
                             &keyword);
    }
    SoundTable table;
    int keyword = -1;
};

TEST_F(FormatCommandTest, KeywordsWinOverSoundsAndIgnoreLetterCase) {
    Add("3", "about", "shadowed");
    Add("4", "config", "shadowed");
    const struct {
        const char* word;
        int keyword;
    } cases[] = {{"/xSBabout", 0},   {"/XSBABOUT", 0},        {"/xsbConfig", 1},
                 {"/xSBoptions", 2}, {"/xSBreload", 3},       {"/xSBENABLE", 4},
                 {"/xSBdisable", 5}, {"/xSBdumpdatabase", 6}, {"/xSBDumpDatabase", 6}};
    for (const auto& c : cases) {
        Buffer result(kResultCapacity);
        EXPECT_EQ(kCommandKeyword, Run(c.word, "", result)) << c.word;
        EXPECT_EQ(c.keyword, keyword) << c.word;
        EXPECT_TRUE(result.untouched()) << c.word;
    }
}

TEST_F(FormatCommandTest, SoundCommandsWriteTheLowestMatchingSlot) {
    Add("7", "hi", "Hello");
    Add("12a", "dup", "first");
    Add("8", "DUP", "second");
    Add("1234", "long", "L");
    Buffer result(kResultCapacity);
    ASSERT_EQ(kCommandSoundLine, Run("/xSBhi", "", result));
    EXPECT_EQ(kMark + "7  Hello", result.text());
    ASSERT_EQ(kCommandSoundLine, Run("/XSBHI", "yo", result));
    EXPECT_EQ(kMark + "7  yo", result.text());
    ASSERT_EQ(kCommandSoundLine, Run("/xSBdup", "", result));
    EXPECT_EQ(kMark + "12 first", result.text());
    ASSERT_EQ(kCommandSoundLine, Run("/xSBlong", "", result));
    EXPECT_EQ(kMark + "1234L", result.text());
}

TEST_F(FormatCommandTest, DeclinedWordsLeaveTheResultUntouched) {
    Add("7", "hi", "Hello");
    for (const char* word : {"/xSB", "/xSBnope", "/xS", "/x0", "/x000", "/xab", "hi", "/hi",
                             "/xSB12", "/xSBhi2", "", "/x123456"}) {
        Buffer result(kResultCapacity);
        EXPECT_EQ(kCommandDeclined, Run(word, "text", result)) << word;
        EXPECT_TRUE(result.untouched()) << word;
    }
    // An empty sub-command word matches only a record with an empty command.
    Add("9", "", "blank");
    Buffer result(kResultCapacity);
    ASSERT_EQ(kCommandSoundLine, Run("/xSB", "", result));
    EXPECT_EQ(kMark + "9  blank", result.text());
}

} // namespace
