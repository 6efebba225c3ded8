// The sound database's image in memory: up to 999 records in fixed slots.
// Pure code, no Windows headers, so it builds natively for sanitizers.
#ifndef SONABELL_DATABASE_SOUND_TABLE_H
#define SONABELL_DATABASE_SOUND_TABLE_H

constexpr int kTableCapacity = 999;

// Field numbers for FindSound.
constexpr int kFieldIndexText = 1;
constexpr int kFieldCommand = 2;

constexpr int kNoFreeSlot = -2;
constexpr int kNotFound = -1;

struct SoundRecord {
    char* indexText; // owned heap copies, or null while absent
    char* command;
    char* filename;
    char* message;
    bool counted; // counted in soundTable.count
};

struct SoundTable {
    SoundRecord* slots[kTableCapacity];
    int count;
    char countText[4];
};

extern SoundTable soundTable;

// A new record with all four texts absent. A counted one raises the count.
SoundRecord* CreateSoundRecord(bool counted);
// Frees the texts and the record; a counted one lowers the count. The
// caller empties the slot that held it.
void DestroySoundRecord(SoundRecord* record);
// Replaces one of a record's texts with a heap copy of text (null: absent).
void SetRecordText(char** field, const char* text);

int FindFreeSlot();
int FindSound(const char* key, int field);
int ClearSoundTable();

// A record's text, or "" when it is absent: for readers that must not fail
// on a record whose creator has not filled it yet.
inline const char* TextOrEmpty(const char* text) {
    return text ? text : "";
}

#endif
