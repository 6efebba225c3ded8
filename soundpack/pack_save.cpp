#include "soundpack/pack_save.h"

#include "database/registry_store.h"
#include "database/sound_table.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

// The longest value Install reads whole.
constexpr size_t kMostValueChars = 2047;

struct Field {
    const char* key;
    const char* value;
};

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The profile functions trim blanks around a value and take off a pair of
// quotes around it: a value that would lose either is written inside quotes.
std::string Quoted(const char* value) {
    const size_t length = std::strlen(value);
    const char first = value[0];
    const char last = value[length - 1];
    if (IsBlank(first) || IsBlank(last) || IsQuote(first) || IsQuote(last))
        return std::string("\"") + value + "\"";
    return value;
}

// Why the profile functions cannot give this value back as it is; null when
// they can. The reader cuts the line as written, quotes included, before it
// takes the quotes off.
const char* Uncarriable(const char* value) {
    if (value[0] == '\0')
        return "is empty, which Install would skip";
    if (std::strpbrk(value, "\r\n"))
        return "holds a line break";
    if (std::strlen(value) > kMostValueChars)
        return "is longer than 2,047 characters";
    if (Quoted(value).size() > kMostValueChars)
        return "is longer than 2,047 characters with the quotes its edges need";
    return nullptr;
}

std::vector<const SoundRecord*> RecordsInIndexOrder() {
    std::vector<const SoundRecord*> records;
    for (const SoundRecord* record : soundTable.slots) {
        if (record)
            records.push_back(record);
    }
    std::stable_sort(
        records.begin(), records.end(), [](const SoundRecord* a, const SoundRecord* b) {
            const long left = IndexTextValue(TextOrEmpty(a->indexText));
            const long right = IndexTextValue(TextOrEmpty(b->indexText));
            if (left != right)
                return left < right;
            return std::strcmp(TextOrEmpty(a->indexText), TextOrEmpty(b->indexText)) < 0;
        });
    return records;
}

// The record's four keys as the lines of its section; false, with the
// problem, when one of them cannot be carried.
bool SectionText(const SoundRecord* record, std::string* text, std::string* problem) {
    const Field fields[] = {{"SoundIndex", TextOrEmpty(record->indexText)},
                            {"Command", TextOrEmpty(record->command)},
                            {"Filename", TextOrEmpty(record->filename)},
                            {"Message", TextOrEmpty(record->message)}};
    text->clear();
    for (const Field& field : fields) {
        if (const char* why = Uncarriable(field.value)) {
            *problem = std::string("Sound ") + fields[0].value + " not saved: its " + field.key +
                       " " + why + ".";
            return false;
        }
        *text += std::string(field.key) + "=" + Quoted(field.value) + "\r\n";
    }
    return true;
}

// Writes the whole file at once, as the profile functions would write it a
// section at a time: "[name]" and "key=value" lines, each ended by CR LF, no
// blank lines. Under Wine every profile write rewrites the whole file, which
// made a large pack's save take seconds.
bool WriteWhole(const char* path, const std::string& text) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    return CloseHandle(file) && ok;
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// The folders a file name's directory part names below folder.
void MakeFolders(const std::string& folder, const std::string& name) {
    for (size_t at = name.find_first_of("\\/", 1); at != std::string::npos;
         at = name.find_first_of("\\/", at + 1))
        CreateDirectoryA((folder + name.substr(0, at)).c_str(), nullptr);
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

void CopySoundFile(const SoundRecord* record, const std::string& soundFolder,
                   const std::string& packFolder, PackSaveOutcome* outcome) {
    const std::string name = TextOrEmpty(record->filename);
    const std::string from = soundFolder + name;
    const std::string to = packFolder + name;
    const std::string sound = std::string("Sound ") + TextOrEmpty(record->indexText);
    if (GetFileAttributesA(from.c_str()) == INVALID_FILE_ATTRIBUTES) {
        outcome->problems.push_back(sound + ": its file " + name + " is not in the sound folder.");
        return;
    }
    // Saved into the sound folder itself: the file is already where it belongs.
    if (lstrcmpiA(FullPath(from).c_str(), FullPath(to).c_str()) == 0)
        return;
    MakeFolders(packFolder, name);
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
        outcome->problems.push_back(sound + ": its file " + name + " could not be copied.");
}

} // namespace

bool SaveSoundpack(const char* path, const std::string& soundFolder, PackSaveOutcome* outcome) {
    outcome->saved = 0;
    outcome->problems.clear();
    const std::string target = FullPath(path);
    const std::string packFolder = FolderOf(target);

    std::vector<const SoundRecord*> saved;
    std::vector<std::string> sections;
    for (const SoundRecord* record : RecordsInIndexOrder()) {
        std::string text;
        std::string problem;
        if (!SectionText(record, &text, &problem)) {
            outcome->problems.push_back(problem);
            continue;
        }
        saved.push_back(record);
        sections.push_back(text);
    }

    // Written beside the old file, which is replaced only once the new one
    // is whole.
    char temp[MAX_PATH];
    if (!GetTempFileNameA(packFolder.c_str(), "sbp", 0, temp))
        return false;
    std::string text = "[Header]\r\nTotalSounds=" + std::to_string(saved.size()) + "\r\n";
    for (size_t i = 0; i < sections.size(); ++i)
        text += "[Sound" + std::to_string(i + 1) + "]\r\n" + sections[i];
    if (!WriteWhole(temp, text) || !MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temp);
        return false;
    }
    outcome->saved = static_cast<int>(saved.size());
    for (const SoundRecord* record : saved)
        CopySoundFile(record, soundFolder, packFolder, outcome);
    return true;
}

std::string PackSaveOutcomeText(const PackSaveOutcome& outcome, const char* path) {
    std::string text = "Saved " + std::to_string(outcome.saved) + " sounds to " + path + ".";
    for (const std::string& problem : outcome.problems)
        text += "\r\n" + problem;
    return text;
}
