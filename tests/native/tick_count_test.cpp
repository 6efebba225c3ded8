#include "host/tick_count.h"

#include <gtest/gtest.h>

namespace {

TEST(MillisecondsFromCounterTest, ConvertsWithoutOverflowAtAnyClockRate) {
    constexpr unsigned long long kDay = 24ull * 60 * 60;
    struct Case {
        unsigned long long count, frequency, milliseconds;
    } cases[] = {
        {0, 3579545, 0},
        {3579545, 3579545, 1000},
        {3579545 / 2, 3579545, 499}, // rounds down, like a tick count
        {10'000'000ull * 90, 10'000'000, 90'000},
        // A counter at a 3.2 GHz processor clock after 400 days of uptime:
        // count * 1000 alone would not fit in 64 bits.
        {3'200'000'000ull * 400 * kDay, 3'200'000'000ull, 400 * kDay * 1000},
        {~0ull, 1000, ~0ull}, // the largest count at 1 kHz is its own millisecond count
        {12345, 0, 0},        // no counter: no time rather than a division by zero
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.milliseconds, MillisecondsFromCounter(c.count, c.frequency))
            << c.count << " ticks at " << c.frequency << " Hz";
}

} // namespace
