// Reading a soundpack INI file: the one set of rules Install, Uninstall and
// Check share, so a check can never judge a pack differently from an install.
#ifndef SONABELL_SOUNDPACK_PACK_READER_H
#define SONABELL_SOUNDPACK_PACK_READER_H

#include <string>

struct PackFile {
    std::string path; // full path: the open test and the profile reads mean one file
    int total;        // TotalSounds as read
};

// The full path, the open test and TotalSounds. True when there are sections
// to walk; otherwise *result is what the operation returns: kPackUnreadable,
// kPackNoSounds for a count that is missing, zero or too large to name a
// section, kPackDone for a negative one.
bool OpenPack(const char* path, PackFile* pack, int* result);

// Section names are built in 11 characters: "Sound99999" is the last one.
struct PackEntry {
    char section[11];
    // A missing key and an empty value both read as empty.
    std::string index;
    std::string command;
    std::string filename;
    std::string message;
};

// A value as Install reads it: at most 2047 characters, empty when missing.
std::string ReadPackValue(const PackFile& pack, const char* section, const char* key);
// The section "Sound" + k with its four keys.
void ReadPackEntry(const PackFile& pack, int k, PackEntry* entry);
// The keys of the entry that are missing or empty, as "Command, Message";
// empty when the entry is complete.
std::string MissingPackKeys(const PackEntry& entry);

#endif
