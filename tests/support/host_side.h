// The host's side of the plug-in in tests: its result buffer with a fenced
// tail, the lines the receiving side may answer with, and the plug-in's two
// switches as the host would find them stored.
#ifndef SONABELL_TESTS_HOST_SIDE_H
#define SONABELL_TESTS_HOST_SIDE_H

#include <cstddef>
#include <string>

namespace testing_support {

constexpr size_t kHostCapacity = 1024; // the host's result buffer

// The host's result buffer, canary-filled, followed by 64 fence bytes
// nothing may write.
struct HostBuffer {
    HostBuffer() : bytes(kHostCapacity + 64, '\xA5') {}
    char* data() { return &bytes[0]; }
    std::string text() const { return std::string(bytes.c_str()); }
    bool untouched() const { return bytes == std::string(kHostCapacity + 64, '\xA5'); }
    bool tailIntact() const { return bytes.substr(kHostCapacity) == std::string(64, '\xA5'); }
    std::string bytes;
};

// ReceiveNotify's error lines.
extern const std::string kMissingLine;
extern const std::string kNotOpenedLine;
extern const std::string kNotStartedLine;

// Writes the plug-in's two switches under the settings key.
void WriteSwitches(bool sounds, bool toasts);

} // namespace testing_support

#endif
