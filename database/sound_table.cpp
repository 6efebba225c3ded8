#include "database/sound_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

SoundTable soundTable; // zero-initialised: all slots empty, count 0, countText ""

namespace {
void WriteCountText() {
    std::snprintf(soundTable.countText, sizeof soundTable.countText, "%d", soundTable.count);
}
} // namespace

SoundRecord* CreateSoundRecord(bool counted) {
    auto* record = static_cast<SoundRecord*>(std::calloc(1, sizeof(SoundRecord)));
    if (!record)
        return nullptr;
    record->counted = counted;
    if (counted) {
        ++soundTable.count;
        WriteCountText();
    }
    return record;
}

void DestroySoundRecord(SoundRecord* record) {
    if (!record)
        return;
    std::free(record->indexText);
    std::free(record->command);
    std::free(record->filename);
    std::free(record->message);
    if (record->counted) {
        --soundTable.count;
        WriteCountText();
    }
    std::free(record);
}

void SetRecordText(char** field, const char* text) {
    std::free(*field);
    *field = nullptr;
    if (!text)
        return;
    size_t size = std::strlen(text) + 1;
    *field = static_cast<char*>(std::malloc(size));
    if (*field)
        std::memcpy(*field, text, size);
}

int FindFreeSlot() {
    for (int slot = 0; slot < kTableCapacity; ++slot) {
        if (!soundTable.slots[slot])
            return slot;
    }
    return kNoFreeSlot;
}

int FindSound(const char* key, int field) {
    if (field != kFieldIndexText && field != kFieldCommand)
        return kNotFound;
    const int count = soundTable.count;
    for (int slot = 0; slot < count && slot < kTableCapacity; ++slot) {
        const SoundRecord* record = soundTable.slots[slot];
        if (!record)
            continue;
        const char* text = field == kFieldIndexText ? record->indexText : record->command;
        if (text && std::strcmp(text, key) == 0)
            return slot;
    }
    return kNotFound;
}

int ClearSoundTable() {
    // Every slot, whatever count says, so a record stranded above count is
    // freed too.
    for (SoundRecord*& slot : soundTable.slots) {
        if (slot) {
            DestroySoundRecord(slot);
            slot = nullptr;
        }
    }
    return 1;
}
