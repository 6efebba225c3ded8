// Saves the user's sound database as a soundpack: an INI file in the format
// Install reads, with the sound files copied beside it.
#ifndef SONABELL_SOUNDPACK_PACK_SAVE_H
#define SONABELL_SOUNDPACK_PACK_SAVE_H

#include <string>
#include <vector>

struct PackSaveOutcome {
    int saved; // sections written
    // One line per sound left out and per sound file not copied.
    std::vector<std::string> problems;
};

// Writes the sounds of the table in index order to a pack at path, replacing
// any file there whole, and copies their files from soundFolder (ending in a
// separator) beside it. A value the format cannot carry keeps its sound out
// and is listed instead of being written differently. False when the INI
// could not be written at all; the file at path is then as it was.
bool SaveSoundpack(const char* path, const std::string& soundFolder, PackSaveOutcome* outcome);

// "Saved N sounds to PATH." and the problems, one a line.
std::string PackSaveOutcomeText(const PackSaveOutcome& outcome, const char* path);

#endif
