// Shared pieces of the hostile-input and soak tests: the host's result
// buffer with a fenced tail, texts that end at an inaccessible page, the
// answers ReceiveNotify may give, and sound files of every kind.
#ifndef SONABELL_TESTS_HARDENING_SUPPORT_H
#define SONABELL_TESTS_HARDENING_SUPPORT_H

#include <windows.h>

#include "clean_state.h"
#include "host_side.h"

#include <string>

namespace testing_support {

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

// A short valid 16-bit PCM WAV file's bytes (silence).
std::string WavBytes(int milliseconds);
// n bytes of a fixed pseudo-random sequence.
std::string RandomBytes(size_t n, unsigned seed);

} // namespace testing_support

#endif
