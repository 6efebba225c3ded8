// Arbitrary notification codes: the index read is "SB" then one to three
// digits that do not read as 0, taken unchanged from the code.
#include "host/sound_line.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string code(reinterpret_cast<const char*>(data), size);
    char digits[kIndexFieldWidth + 2];
    std::memset(digits, 'z', sizeof digits);
    bool read = ReadNotificationIndex(code.c_str(), digits);
    if (digits[kIndexFieldWidth + 1] != 'z')
        std::abort();
    if (!read)
        return 0;
    size_t n = strnlen(digits, kIndexFieldWidth + 1);
    if (n < 1 || n > kIndexFieldWidth || code.compare(0, 2, "SB") != 0)
        std::abort();
    if (code.compare(2, n, digits) != 0 || std::strspn(digits, "0") == n)
        std::abort();
    for (size_t i = 0; i < n; ++i)
        if (digits[i] < '0' || digits[i] > '9')
            std::abort();
    return 0;
}
