// Puts the plug-in's registry world back to nothing, and reads it back.
#ifndef SONABELL_TESTS_CLEAN_STATE_H
#define SONABELL_TESTS_CLEAN_STATE_H

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

constexpr const char* kSoundsKey = "Software\\tinderwick_ software\\Sonabell\\Sounds";
constexpr const char* kSettingsKey = "Software\\tinderwick_ software\\Sonabell";
constexpr const char* kHostKey = "Software\\Kestrune\\MsgPlus2";

// Removes the plug-in's keys in both hives and the host's key.
void ResetRegistry();

// Creates the settings key, as the setup does for the account that runs it.
void CreateSettingsKey();

// Writes one value into the existing settings key, with any type and bytes.
void PutSettingValue(const char* name, const std::string& bytes, DWORD type = REG_BINARY);

// Writes a sound's sub-key directly, the way another program might.
void PutSound(const std::string& index, const std::string& command, const std::string& filename,
              const std::string& message);

// Lets every account read the Sounds key and each sound below it, and none
// change them: the database as a standard account finds it when the setup
// did not open it up. ResetRegistry undoes it.
void MakeSoundDatabaseReadOnly();

struct RegValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes; // exactly the stored bytes
};
RegValue GetValue(HKEY root, const std::string& key, const char* name);
bool KeyExists(HKEY root, const std::string& key);
// Names of the sub-keys of the Sounds key, in enumeration order.
std::vector<std::string> SoundKeys();

// A text dump of every key and value under the plug-in's two keys, to compare
// the registry before and after an operation that must not change it.
std::string SnapshotRegistry();

// Process-wide counts that must stay flat across repeated work. Wine answers
// none of the usual queries: there the handles are counted one by one, the
// USER objects are the process's windows and the private bytes are the
// commit charge. GDI objects are not counted: Wine reads 0 for them and has
// no other per-process count, so a GDI leak shows only in the private bytes.
struct ResourceCounts {
    DWORD handles = 0;
    DWORD userObjects = 0;
    SIZE_T privateBytes = 0;
};
ResourceCounts CurrentResourceCounts();

// A count that reads 0 measures nothing: fails the test then. Every process
// has open handles; a soak keeps a CountedWindow so that it has a window to
// count.
void ExpectCountsLive(const ResourceCounts& counts);

// Asserts that start's counts are live (ExpectCountsLive: keep a
// CountedWindow) and grew by no more than a couple of handles and windows
// and 1 MB of private bytes, and prints both. Wine's
// thread pool keeps idle worker threads (and their handles) for a while, so
// a reading above the limits is taken again a few times before it counts.
void ExpectFlat(const ResourceCounts& start, const char* soak);

// A hidden top-level window of this process, which the window count finds.
class CountedWindow {
  public:
    CountedWindow();
    ~CountedWindow();
    CountedWindow(const CountedWindow&) = delete;
    CountedWindow& operator=(const CountedWindow&) = delete;

  private:
    HWND window_;
};

// Base fixture for tests under Wine: a clean registry before each test.
class CleanRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }
};

} // namespace testing_support

#endif
