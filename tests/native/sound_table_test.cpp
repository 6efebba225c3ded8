#include "database/sound_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SoundTableTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearSoundTable(); }
    void TearDown() override { ClearSoundTable(); }

    static SoundRecord* Store(const char* index, const char* command = "cmd") {
        int slot = FindFreeSlot();
        EXPECT_GE(slot, 0);
        SoundRecord* record = CreateSoundRecord(true);
        SetRecordText(&record->indexText, index);
        SetRecordText(&record->command, command);
        SetRecordText(&record->filename, "f.mp3");
        SetRecordText(&record->message, "m");
        soundTable.slots[slot] = record;
        return record;
    }
};

TEST_F(SoundTableTest, CountedRecordsKeepCountAndItsText) {
    SoundRecord* a = CreateSoundRecord(true);
    SoundRecord* b = CreateSoundRecord(true);
    SoundRecord* c = CreateSoundRecord(true);
    EXPECT_EQ(3, soundTable.count);
    EXPECT_STREQ("3", soundTable.countText);
    DestroySoundRecord(b);
    EXPECT_EQ(2, soundTable.count);
    EXPECT_STREQ("2", soundTable.countText);
    DestroySoundRecord(a);
    DestroySoundRecord(c);
    EXPECT_STREQ("0", soundTable.countText);

    // An uncounted record touches neither the count nor its text.
    SoundRecord* loose = CreateSoundRecord(false);
    SetRecordText(&loose->indexText, "7");
    DestroySoundRecord(loose);
    EXPECT_EQ(0, soundTable.count);
    EXPECT_STREQ("0", soundTable.countText);
}

TEST_F(SoundTableTest, FreeSlotIsTheLowestEmptyOneAndFullTableSaysSo) {
    Store("1");
    Store("2");
    Store("3");
    DestroySoundRecord(soundTable.slots[1]);
    soundTable.slots[1] = nullptr;
    EXPECT_EQ(1, FindFreeSlot());
    ClearSoundTable();
    for (int i = 0; i < kTableCapacity; ++i)
        Store(std::to_string(i + 1).c_str());
    EXPECT_EQ(kTableCapacity, soundTable.count);
    EXPECT_STREQ("999", soundTable.countText);
    EXPECT_EQ(kNoFreeSlot, FindFreeSlot());
}

TEST_F(SoundTableTest, FindSoundIsExactLowestSlotAndOnlyBelowCount) {
    Store("1", "Boom");
    Store("12", "bell");
    Store("12", "bell");
    EXPECT_EQ(1, FindSound("12", kFieldIndexText));
    EXPECT_EQ(kNotFound, FindSound("012", kFieldIndexText));
    EXPECT_EQ(0, FindSound("Boom", kFieldCommand));
    EXPECT_EQ(kNotFound, FindSound("boom", kFieldCommand));
    EXPECT_EQ(kNotFound, FindSound("1", 3));
    EXPECT_EQ(kNotFound, FindSound("1", 0));

    // A record stranded at or above count is invisible to the search...
    SoundRecord* stranded = CreateSoundRecord(false);
    SetRecordText(&stranded->indexText, "99");
    soundTable.slots[10] = stranded;
    EXPECT_EQ(kNotFound, FindSound("99", kFieldIndexText));
    // ...but the clear frees it all the same (the sanitizer build checks the leak).
    ClearSoundTable();
    EXPECT_EQ(nullptr, soundTable.slots[10]);
}

TEST_F(SoundTableTest, ClearEmptiesEverySlotAndIsIdempotent) {
    for (int i = 0; i < 5; ++i)
        Store(std::to_string(i).c_str());
    EXPECT_EQ(1, ClearSoundTable());
    for (SoundRecord* slot : soundTable.slots)
        EXPECT_EQ(nullptr, slot);
    EXPECT_EQ(0, soundTable.count);
    EXPECT_STREQ("0", soundTable.countText);
    EXPECT_EQ(1, ClearSoundTable());
    EXPECT_EQ(0, soundTable.count);
    EXPECT_STREQ("0", soundTable.countText);
}

TEST_F(SoundTableTest, RecordTextsAreOwnedCopies) {
    char text[] = "hello";
    SoundRecord* record = CreateSoundRecord(false);
    SetRecordText(&record->message, text);
    text[0] = 'j';
    EXPECT_STREQ("hello", record->message);
    SetRecordText(&record->message, nullptr);
    EXPECT_EQ(nullptr, record->message);
    EXPECT_STREQ("", TextOrEmpty(record->message));
    DestroySoundRecord(record);
}

} // namespace
