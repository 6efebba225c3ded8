// Arbitrary command words and parameter texts: the answer stays inside the
// result buffer, a declined command leaves it untouched, and every line has
// the sound line's shape.
#include "host/sound_line.h"

#include "database/sound_table.h"
#include "host/host_contract.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const SoundTable& Table() {
    static SoundTable table = [] {
        SoundTable t{};
        const char* records[][3] = {{"7", "hi", "Hello"},  {"12a", "ab", ""},
                                    {"1234", "x", "long"}, {"", "", "blank"},
                                    {"5", "about", "m"},   {"9", "HI", "dup"}};
        for (auto& r : records) {
            SoundRecord* record = CreateSoundRecord(false);
            SetRecordText(&record->indexText, r[0]);
            SetRecordText(&record->command, r[1]);
            SetRecordText(&record->filename, "f.mp3");
            SetRecordText(&record->message, r[2]);
            t.slots[t.count++] = record;
        }
        return t;
    }();
    return table;
}

bool IsDigitOrSpace(char c) {
    return c == ' ' || (c >= '0' && c <= '9');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The command word up to the first zero, the parameter text after it.
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string word = input.substr(0, split);
    std::string text = split == std::string::npos ? std::string() : input.substr(split + 1);
    text = text.c_str();

    static char result[kResultCapacity + 64];
    std::memset(result, 0xA5, sizeof result);
    int keyword = -1;
    CommandOutcome outcome = FormatCommand(word.c_str(), text.c_str(), Table(), EqualNoCaseAscii,
                                           result, kResultCapacity, &keyword);
    for (size_t i = kResultCapacity; i < sizeof result; ++i)
        if (static_cast<unsigned char>(result[i]) != 0xA5)
            std::abort();
    if (outcome != kCommandSoundLine) {
        for (size_t i = 0; i < kResultCapacity; ++i)
            if (static_cast<unsigned char>(result[i]) != 0xA5)
                std::abort();
        if ((outcome == kCommandKeyword) != (keyword >= 0 && keyword < kKeywordCount))
            std::abort();
        return 0;
    }
    size_t length = strnlen(result, kResultCapacity);
    if (length >= kResultCapacity || length < 6)
        std::abort();
    if (result[0] != kSoundLineMark || result[1] != 'S' || result[2] != 'B')
        std::abort();
    for (int i = 3; i < 6; ++i)
        if (!IsDigitOrSpace(result[i]))
            std::abort();
    return 0;
}
