// Shared pieces of the hostile-input and soak tests: the host's result
// buffer with a fenced tail, texts that end at an inaccessible page, the
// answers ReceiveNotify may give, and sound files of every kind.
#ifndef SONABELL_TESTS_HARDENING_SUPPORT_H
#define SONABELL_TESTS_HARDENING_SUPPORT_H

#include <windows.h>

#include "clean_state.h"

#include <set>
#include <string>

namespace testing_support {

constexpr size_t kHostCapacity = 1024; // the host's result buffer

// The host's result buffer followed by 64 fence bytes nothing may write.
struct HostBuffer {
    HostBuffer() : bytes(kHostCapacity + 64, '\xA5') {}
    char* data() { return &bytes[0]; }
    std::string text() const { return std::string(bytes.c_str()); }
    bool untouched() const { return bytes == std::string(kHostCapacity + 64, '\xA5'); }
    bool tailIntact() const { return bytes.substr(kHostCapacity) == std::string(64, '\xA5'); }
    std::string bytes;
};

// Two pages: the first readable and writable, the second PAGE_NOACCESS, so
// any read past the end of the first faults at once.
class GuardedPage {
  public:
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;
    // Copies bytes so that their last byte is the page's last byte.
    const char* PlaceAtEnd(const std::string& bytes);

  private:
    char* base_ = nullptr;
    size_t page_ = 0;
};

// ReceiveNotify's error lines.
extern const std::string kMissingLine;
extern const std::string kNotOpenedLine;
extern const std::string kNotStartedLine;
// What a sound that exists may answer: it played, or the library refused it.
const std::set<std::string>& ExistingFileAnswers();

// A short valid 16-bit PCM WAV file's bytes (silence).
std::string WavBytes(int milliseconds);
// n bytes of a fixed pseudo-random sequence.
std::string RandomBytes(size_t n, unsigned seed);

// Asserts that the counts since start grew by no more than a couple of
// handles and GUI objects and 1 MB of private bytes, and prints both. Wine's
// thread pool keeps idle worker threads (and their handles) for a while, so
// a reading above the limits is taken again a few times before it counts.
void ExpectFlat(const ResourceCounts& start, const char* soak);

// Writes the plug-in's two switches under the settings key.
void WriteSwitches(bool sounds, bool toasts);

} // namespace testing_support

#endif
