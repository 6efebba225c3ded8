// Soundpack INI files written to a temporary folder for the real profile
// functions to read, and the bytes of files read back.
#ifndef SONABELL_TESTS_PACK_FILES_H
#define SONABELL_TESTS_PACK_FILES_H

#include <string>
#include <vector>

namespace testing_support {

// One sound section; a null key is left out of the file.
struct PackSound {
    const char* index;
    const char* command;
    const char* filename;
    const char* message;
};

// "[Header]" with the TotalSounds line (none when total is null), then the
// sections Sound1, Sound2, ... in order.
std::string PackText(const char* total, const std::vector<PackSound>& sounds);

// This process's own folder for pack files, ending in "\".
std::string PackFolder();
// Writes the text to a file of that folder and returns its full path.
std::string WritePack(const std::string& name, const std::string& text);

// A file's bytes exactly as stored; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

} // namespace testing_support

#endif
