#include "host/sound_line.h"

#include "database/sound_table.h"

#include <cstring>

const char kRawIndexDefaultText[] = "\x03"
                                    "7Incoming Sonabell Sound(8)";

const char* const kKeywords[kKeywordCount] = {"about",  "config",  "options",     "reload",
                                              "enable", "disable", "DumpDatabase"};

namespace {
const char kCommandPrefix[] = "/xSB";
constexpr size_t kCommandPrefixLength = sizeof kCommandPrefix - 1;
constexpr size_t kRawWordMin = 3;
constexpr size_t kRawWordMax = 5;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Appends up to limit characters of text at *length, never past capacity - 1,
// and terminates.
void Append(char* result, size_t capacity, size_t* length, const char* text, size_t limit) {
    size_t room = capacity - 1 - *length;
    size_t n = 0;
    while (n < limit && n < room && text[n] != '\0')
        ++n;
    std::memcpy(result + *length, text, n);
    *length += n;
    result[*length] = '\0';
}

// Up to three digits from text; false when there are none or they read as 0.
bool ReadIndexDigits(const char* text, char digits[kIndexFieldWidth + 1]) {
    size_t n = 0;
    bool nonZero = false;
    while (n < kIndexFieldWidth && IsDigit(text[n])) {
        nonZero = nonZero || text[n] != '0';
        digits[n] = text[n];
        ++n;
    }
    digits[n] = '\0';
    return n > 0 && nonZero;
}

// The line's first three bytes and the index field; the caller checked that
// capacity is non-zero.
size_t WriteLineHead(char* result, size_t capacity, const char* indexText) {
    size_t length = 0;
    result[0] = '\0';
    const char head[] = {kSoundLineMark, 'S', 'B', '\0'};
    Append(result, capacity, &length, head, sizeof head - 1);
    WriteIndexField(result + length, capacity - length, indexText);
    return length + std::strlen(result + length);
}
} // namespace

bool EqualNoCaseAscii(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

void WriteBoundedText(char* result, size_t capacity, const char* text) {
    if (capacity == 0)
        return;
    size_t length = 0;
    Append(result, capacity, &length, text, capacity);
}

void WriteIndexField(char* field, size_t capacity, const char* indexText) {
    if (capacity == 0)
        return;
    size_t length = 0;
    Append(field, capacity, &length, indexText, capacity);
    while (length < kIndexFieldWidth && length + 1 < capacity) {
        field[length++] = ' ';
        field[length] = '\0';
    }
    for (size_t i = 0; i < kIndexFieldWidth && i < length; ++i)
        if (!IsDigit(field[i]))
            field[i] = ' ';
}

size_t WriteSoundLine(char* result, size_t capacity, const char* indexText, const char* message) {
    if (capacity == 0)
        return 0;
    size_t length = WriteLineHead(result, capacity, indexText);
    Append(result, capacity, &length, message, capacity);
    return length;
}

bool ReadRawIndex(const char* commandWord, char digits[kIndexFieldWidth + 1]) {
    size_t length = 0;
    while (length <= kRawWordMax && commandWord[length] != '\0')
        ++length;
    if (length < kRawWordMin || length > kRawWordMax)
        return false;
    return ReadIndexDigits(commandWord + 2, digits);
}

size_t WriteRawIndexLine(char* result, size_t capacity, const char* digits,
                         const char* parameterText) {
    if (capacity == 0)
        return 0;
    size_t length = WriteLineHead(result, capacity, digits);
    if (parameterText[0] != '\0')
        Append(result, capacity, &length, parameterText, kRawMessageLimit);
    else
        Append(result, capacity, &length, kRawIndexDefaultText, capacity);
    return length;
}

bool ReadNotificationIndex(const char* code, char digits[kIndexFieldWidth + 1]) {
    if (code[0] != 'S' || code[1] != 'B')
        return false;
    return ReadIndexDigits(code + 2, digits);
}

int MatchKeyword(const char* word, EqualNoCaseFn equal) {
    for (int i = 0; i < kKeywordCount; ++i)
        if (equal(word, kKeywords[i]))
            return i;
    return -1;
}

int FindCommandSlot(const SoundTable& table, const char* word, EqualNoCaseFn equal) {
    int count = table.count;
    if (count > kTableCapacity)
        count = kTableCapacity;
    for (int slot = 0; slot < count; ++slot) {
        const SoundRecord* record = table.slots[slot];
        if (record && equal(word, TextOrEmpty(record->command)))
            return slot;
    }
    return -1;
}

CommandOutcome FormatCommand(const char* commandWord, const char* parameterText,
                             const SoundTable& table, EqualNoCaseFn equal, char* result,
                             size_t capacity, int* keyword) {
    char prefix[kCommandPrefixLength + 1];
    size_t n = 0;
    while (n < kCommandPrefixLength && commandWord[n] != '\0') {
        prefix[n] = commandWord[n];
        ++n;
    }
    prefix[n] = '\0';
    if (equal(prefix, kCommandPrefix)) {
        const char* word = commandWord + kCommandPrefixLength;
        *keyword = MatchKeyword(word, equal);
        if (*keyword >= 0)
            return kCommandKeyword;
        int slot = FindCommandSlot(table, word, equal);
        if (slot >= 0) {
            const SoundRecord* record = table.slots[slot];
            const char* message =
                parameterText[0] != '\0' ? parameterText : TextOrEmpty(record->message);
            WriteSoundLine(result, capacity, TextOrEmpty(record->indexText), message);
            return kCommandSoundLine;
        }
    }
    char digits[kIndexFieldWidth + 1];
    if (!ReadRawIndex(commandWord, digits))
        return kCommandDeclined;
    WriteRawIndexLine(result, capacity, digits, parameterText);
    return kCommandSoundLine;
}
