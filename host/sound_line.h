// The text of the chat protocol: sound lines going out, notification codes
// coming in. Pure code, no Windows headers, so it builds natively for the
// sanitizers and fuzzers. Every writer is bounded by the capacity it is given
// and always leaves a terminating zero.
#ifndef SONABELL_HOST_SOUND_LINE_H
#define SONABELL_HOST_SOUND_LINE_H

#include <cstddef>

struct SoundTable;

constexpr char kSoundLineMark = '\x12'; // first byte of every sound line
constexpr char kErrorLineMark = '\x03'; // first byte of the error lines
constexpr size_t kIndexFieldWidth = 3;
constexpr size_t kRawMessageLimit = 1000; // the raw-index form's message cut

// The message of a raw-index line sent without text of its own.
extern const char kRawIndexDefaultText[];

// Letter-case-blind equality of two texts. The plug-in passes one that folds
// the ANSI code page; the pure default folds ASCII only.
using EqualNoCaseFn = bool (*)(const char* a, const char* b);
bool EqualNoCaseAscii(const char* a, const char* b);

// Copies text into result, cut to capacity - 1 bytes; capacity 0 writes nothing.
void WriteBoundedText(char* result, size_t capacity, const char* text);

// The index field for an index text: padded with spaces to three characters,
// then every non-digit among the first three turned into a space. A longer
// text is kept whole after that. Writes at most capacity bytes with the zero.
void WriteIndexField(char* field, size_t capacity, const char* indexText);

// 0x12, "SB", the index field, then message, cut so the line and its zero fit
// in capacity. Returns the line's length.
size_t WriteSoundLine(char* result, size_t capacity, const char* indexText, const char* message);

// The raw-index form: a command word of 3 to 5 characters whose third
// character starts one to three digits that do not read as 0. digits gets
// those digits and a zero.
bool ReadRawIndex(const char* commandWord, char digits[kIndexFieldWidth + 1]);
// The raw-index line: the digits, then the first 1000 characters of
// parameterText, or the default text when parameterText is empty.
size_t WriteRawIndexLine(char* result, size_t capacity, const char* digits,
                         const char* parameterText);

// A notification code: "SB" (letter case counts), then one to three digits
// that do not read as 0; digits gets them unchanged, leading zeros included.
bool ReadNotificationIndex(const char* code, char digits[kIndexFieldWidth + 1]);

// The sub-command keywords in the order they are tried.
constexpr int kKeywordCount = 7;
extern const char* const kKeywords[kKeywordCount];
// Position of the keyword that word names, or -1.
int MatchKeyword(const char* word, EqualNoCaseFn equal);
// The lowest slot among 0 to count - 1 whose command equals word, or -1.
int FindCommandSlot(const SoundTable& table, const char* word, EqualNoCaseFn equal);

enum CommandOutcome {
    kCommandDeclined, // not the plug-in's: result untouched
    kCommandKeyword,  // a sub-command: *keyword says which, result untouched
    kCommandSoundLine // a sound line is in result
};

// Everything ParseCommand decides without touching Windows: the "/xSB"
// prefix, the keywords, the sound commands of table and the raw-index form.
CommandOutcome FormatCommand(const char* commandWord, const char* parameterText,
                             const SoundTable& table, EqualNoCaseFn equal, char* result,
                             size_t capacity, int* keyword);

#endif
