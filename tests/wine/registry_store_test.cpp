// The registry store against Wine's real registry.
#include "database/registry_store.h"

#include "clean_state.h"

#include <algorithm>
#include <functional>
#include <string>

using namespace testing_support;

namespace {

class RegistryStoreTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        ClearSoundTable();
    }
    void TearDown() override {
        ClearSoundTable();
        CleanRegistryTest::TearDown();
    }
    static std::string Sound(const std::string& index) {
        return std::string(kSoundsKey) + "\\" + index;
    }
    static const SoundRecord* Slot(int i) { return soundTable.slots[i]; }
};

TEST_F(RegistryStoreTest, AddSoundWritesThreeTerminatedStringValues) {
    ASSERT_EQ(kStoreDone, AddSound("7", "boom", "C:\\Sounds\\boom.mp3", "hello"));
    ASSERT_EQ(kStoreDone, AddSound("77", "", "", ""));
    ASSERT_EQ(kStoreDone, AddSound("777", "c", "x.wav", "m"));
    for (const char* index : {"7", "77", "777"})
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, Sound(index))) << index;

    RegValue command = GetValue(HKEY_LOCAL_MACHINE, Sound("7"), "Command");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), command.type);
    EXPECT_EQ(std::string("boom\0", 5), command.bytes);
    EXPECT_EQ(std::string("\\boom.mp3\0", 10),
              GetValue(HKEY_LOCAL_MACHINE, Sound("7"), "Filename").bytes);
    EXPECT_EQ(std::string("hello\0", 6), GetValue(HKEY_LOCAL_MACHINE, Sound("7"), "Message").bytes);
    // Empty texts are stored as a lone terminator.
    EXPECT_EQ(std::string("\0", 1), GetValue(HKEY_LOCAL_MACHINE, Sound("77"), "Message").bytes);
}

TEST_F(RegistryStoreTest, AddSoundKeepsTheLastSeparatorOfThePath) {
    struct Case {
        const char* path;
        const char* stored;
    } cases[] = {
        {"D:\\a/b\\c.wav", "\\c.wav"},
        {"a/b.wav", "/b.wav"},
        {"\\x.mp3", "\\x.mp3"},
        {"C:\\dir\\", "\\"},
        {"", ""},
        {"boom.mp3", "boom.mp3"},
    };
    int index = 1;
    for (const Case& c : cases) {
        std::string name = std::to_string(index++);
        ASSERT_EQ(kStoreDone, AddSound(name.c_str(), "c", c.path, "m")) << c.path;
        EXPECT_EQ(std::string(c.stored) + '\0',
                  GetValue(HKEY_LOCAL_MACHINE, Sound(name), "Filename").bytes)
            << c.path;
    }
    // A path far beyond any fixed buffer is taken whole.
    std::string longName(5000, 'n');
    ASSERT_EQ(kStoreDone, AddSound("99", "c", ("C:\\d\\" + longName).c_str(), "m"));
    EXPECT_EQ("\\" + longName + '\0', GetValue(HKEY_LOCAL_MACHINE, Sound("99"), "Filename").bytes);
}

TEST_F(RegistryStoreTest, InvalidIndexTextsAreRefusedWithoutWriting) {
    EXPECT_EQ(kStoreInvalidIndex, AddSound("", "c", "f", "m"));
    EXPECT_EQ(kStoreInvalidIndex, AddSound("1000", "c", "f", "m"));
    EXPECT_EQ(kStoreInvalidIndex, AddSound("0", "c", "f", "m"));   // passes the length test
    EXPECT_EQ(kStoreInvalidIndex, AddSound("abc", "c", "f", "m")); // no leading digits
    EXPECT_TRUE(SoundKeys().empty());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSoundsKey));
}

TEST_F(RegistryStoreTest, WriteSoundReadsTheIndexLikeAtoi) {
    SoundRecord* record = CreateSoundRecord(false);
    SetRecordText(&record->command, "c");
    SetRecordText(&record->filename, "f");
    SetRecordText(&record->message, "m");
    struct Case {
        const char* index;
        int result;
    } cases[] = {{"12a", kStoreDone},        {"-5", kStoreDone},        {" 8", kStoreDone},
                 {"007", kStoreDone},        {"0", kStoreInvalidIndex}, {"", kStoreInvalidIndex},
                 {"x1", kStoreInvalidIndex}, {"+0", kStoreInvalidIndex}};
    for (const Case& c : cases) {
        SetRecordText(&record->indexText, c.index);
        EXPECT_EQ(c.result, WriteSound(record)) << '"' << c.index << '"';
    }
    DestroySoundRecord(record);
    std::vector<std::string> keys = SoundKeys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ((std::vector<std::string>{" 8", "-5", "007", "12a"}), keys);
}

TEST_F(RegistryStoreTest, ExistingIndexIsNeverRedefined) {
    PutSound("5", "old", "old.mp3", "old message");
    EXPECT_EQ(kStoreExists, AddSound("5", "new", "new.mp3", "new message"));
    EXPECT_EQ(std::string("old\0", 4), GetValue(HKEY_LOCAL_MACHINE, Sound("5"), "Command").bytes);
    EXPECT_EQ(std::string("old.mp3\0", 8),
              GetValue(HKEY_LOCAL_MACHINE, Sound("5"), "Filename").bytes);
    EXPECT_EQ(std::string("old message\0", 12),
              GetValue(HKEY_LOCAL_MACHINE, Sound("5"), "Message").bytes);
}

TEST_F(RegistryStoreTest, LoadSoundsFillsSlotsInEnumerationOrderAndOnlyOnce) {
    EXPECT_EQ(0, LoadSounds()); // no Sounds key yet
    PutSound("1", "one", "1.mp3", "m1");
    PutSound("2", "two", "2.mp3", "m2");
    PutSound("10", "ten", "10.mp3", "m10");
    ASSERT_EQ(1, LoadSounds());
    ASSERT_EQ(3, soundTable.count);
    std::vector<std::string> order = SoundKeys();
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(order[i].c_str(), Slot(i)->indexText);
    const SoundRecord* ten = Slot(FindSound("10", kFieldIndexText));
    EXPECT_STREQ("ten", ten->command);
    EXPECT_STREQ("10.mp3", ten->filename);
    EXPECT_STREQ("m10", ten->message);

    EXPECT_EQ(1, LoadSounds());
    EXPECT_EQ(3, soundTable.count);
    EXPECT_STREQ("3", soundTable.countText);
}

TEST_F(RegistryStoreTest, LoadSoundsToleratesMissingOddAndHugeValues) {
    PutSound("3", "c", "f", "m");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, Sound("3").c_str(), 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Message");
    // Data without a terminator, of another type, must end at the data's end.
    const char raw[] = {'a', 'b', 'c'};
    RegSetValueExA(key, "Command", 0, REG_BINARY, reinterpret_cast<const BYTE*>(raw), 3);
    std::string huge(100000, 'h');
    RegSetValueExA(key, "Filename", 0, REG_SZ, reinterpret_cast<const BYTE*>(huge.c_str()),
                   static_cast<DWORD>(huge.size() + 1));
    RegCloseKey(key);

    // A name far longer than three characters is read whole.
    std::string longIndex(200, '9');
    PutSound(longIndex, "long", "l.mp3", "lm");

    ASSERT_EQ(1, LoadSounds());
    ASSERT_EQ(2, soundTable.count);
    const SoundRecord* three = Slot(FindSound("3", kFieldIndexText));
    ASSERT_NE(nullptr, three);
    EXPECT_STREQ("abc", three->command);
    EXPECT_EQ(huge, three->filename);
    EXPECT_STREQ("", three->message);
    EXPECT_NE(kNotFound, FindSound(longIndex.c_str(), kFieldIndexText));
}

TEST_F(RegistryStoreTest, LoadSoundsStopsAtAFullTable) {
    // Fill the table from memory, then offer one more sound in the registry.
    for (int i = 0; i < kTableCapacity; ++i) {
        SoundRecord* record = CreateSoundRecord(true);
        SetRecordText(&record->indexText, ("m" + std::to_string(i)).c_str());
        soundTable.slots[i] = record;
    }
    PutSound("5", "c", "f", "m");
    EXPECT_EQ(1, LoadSounds());
    EXPECT_EQ(kTableCapacity, soundTable.count);
    EXPECT_EQ(kNotFound, FindSound("5", kFieldIndexText));
}

TEST_F(RegistryStoreTest, DeleteResultsAndWhatTheyRemove) {
    EXPECT_EQ(kStoreInvalidIndex, DeleteSoundNumber(1000));
    EXPECT_EQ(kStoreInvalidIndex, DeleteSoundNumber(-1));
    EXPECT_EQ(kStoreNoDatabase, DeleteSoundNumber(0));

    PutSound("7", "c", "f", "m");
    PutSound("07", "c", "f", "m");
    EXPECT_EQ(kStoreNoSound, DeleteSoundNumber(0));
    // The number is written anew: 7 deletes "7", never "07".
    EXPECT_EQ(kStoreDone, DeleteSoundNumber(7));
    EXPECT_EQ(std::vector<std::string>{"07"}, SoundKeys());

    ASSERT_EQ(1, LoadSounds());
    const SoundRecord* record = Slot(0);
    EXPECT_EQ(kStoreDone, DeleteSound(record));
    EXPECT_TRUE(SoundKeys().empty());
    EXPECT_EQ(kStoreNoSound, DeleteSound(record)); // removed meanwhile
}

TEST_F(RegistryStoreTest, DeleteRemovesNestedKeysToo) {
    PutSound("4", "c", "f", "m");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, (Sound("4") + "\\extra").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(kStoreDone, DeleteSoundNumber(4));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, Sound("4")));
}

// An account that may only read the database (the setup was not run as an
// administrator): the sounds load, and every change is refused as denied,
// while a sound or database that is not there is still reported as such.
TEST_F(RegistryStoreTest, AReadOnlyDatabaseLoadsAndRefusesEveryChangeAsDenied) {
    PutSound("7", "hi", "hi.mp3", "Hello");
    PutSound("12", "bell", "bell.wav", "ding");
    MakeSoundDatabaseReadOnly();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSoundsKey, 0, KEY_ALL_ACCESS, &key))
        << "the full-access open must fail for this test to mean anything";

    ASSERT_EQ(1, LoadSounds());
    ASSERT_EQ(2, soundTable.count);
    const SoundRecord* seven = Slot(FindSound("7", kFieldIndexText));
    EXPECT_STREQ("hi", seven->command);
    EXPECT_STREQ("hi.mp3", seven->filename);
    EXPECT_STREQ("Hello", seven->message);

    const std::string before = SnapshotRegistry();
    SoundRecord missing = {const_cast<char*>("9"), nullptr, nullptr, nullptr, false};
    struct Case {
        const char* name;
        std::function<int()> change;
        int result;
        bool denied;
    } cases[] = {
        {"add", [] { return AddSound("8", "new", "new.mp3", "New"); }, kStoreRefused, true},
        {"add over an existing index", [] { return AddSound("7", "x", "x.mp3", "X"); },
         kStoreRefused, true},
        {"delete by number", [] { return DeleteSoundNumber(12); }, kStoreRefused, true},
        {"delete a record", [&] { return DeleteSound(seven); }, kStoreRefused, true},
        {"delete a sound that is not there", [] { return DeleteSoundNumber(9); }, kStoreNoSound,
         false},
        {"delete a record that is not there", [&] { return DeleteSound(&missing); }, kStoreNoSound,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, c.change());
        EXPECT_EQ(c.denied, LastWriteWasDenied());
    }
    EXPECT_EQ(before, SnapshotRegistry());
    EXPECT_EQ(1, LoadSounds()); // a second load adds nothing, as ever
    EXPECT_EQ(2, soundTable.count);
}

TEST_F(RegistryStoreTest, ARefusalForAnotherReasonIsNotReportedAsDenied) {
    // A volatile Sounds key takes no lasting sub-keys.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSoundsKey, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(kStoreRefused, AddSound("1", "c", "f", "m"));
    EXPECT_FALSE(LastWriteWasDenied());
}

TEST(IndexTextValueTest, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(12, IndexTextValue("12a"));
    EXPECT_EQ(-5, IndexTextValue("-5"));
    EXPECT_EQ(8, IndexTextValue(" \t8"));
    EXPECT_EQ(0, IndexTextValue(""));
    EXPECT_EQ(0, IndexTextValue("a1"));
    EXPECT_GT(IndexTextValue("99999999999999999999999"), 999);
}

} // namespace
