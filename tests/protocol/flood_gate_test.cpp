// The flood limit's rules with a clock the test moves by hand.
#include "host/flood_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint64_t kSecond = 1000;

// One verdict letter per sound: P passes, D is dropped, W is dropped and the
// user is told.
struct Arrival {
    uint64_t at;
    char verdict;
};

std::string Verdicts(FloodGate& gate, int limit, const std::vector<uint64_t>& times) {
    std::string verdicts;
    for (uint64_t at : times) {
        switch (AdmitToFloodGate(gate, limit, at)) {
        case kFloodPass:
            verdicts += 'P';
            break;
        case kFloodDrop:
            verdicts += 'D';
            break;
        case kFloodDropAndWarn:
            verdicts += 'W';
            break;
        }
    }
    return verdicts;
}

class FloodGateTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetFloodGate(gate); }
    FloodGate gate;
};

TEST_F(FloodGateTest, CountsTheSoundsOfAnySixtySeconds) {
    const struct {
        const char* what;
        int limit;
        std::vector<uint64_t> times;
        std::string verdicts;
    } cases[] = {
        {"no limit", 0, std::vector<uint64_t>(300, 5), std::string(300, 'P')},
        {"five at once, limit 2", 2, {0, 0, 0, 0, 0}, "PPWDD"},
        {"five in ten seconds", 2, {0, 2500, 5000, 7500, 10000}, "PPWDD"},
        // The first sound leaves the window exactly a minute later.
        {"sliding", 2, {0, 30 * kSecond, 60 * kSecond - 1, 60 * kSecond, 61 * kSecond}, "PPWPD"},
        {"limit 1, slow sounds all pass", 1, {0, 60 * kSecond, 120 * kSecond}, "PPP"},
        {"largest limit", 255, std::vector<uint64_t>(256, 7), std::string(255, 'P') + "W"},
    };
    for (const auto& c : cases) {
        ResetFloodGate(gate);
        EXPECT_EQ(c.verdicts, Verdicts(gate, c.limit, c.times)) << c.what;
    }
}

TEST_F(FloodGateTest, TellsTheUserAtMostOnceAMinute) {
    EXPECT_EQ("PPW", Verdicts(gate, 2, {0, 0, 0}));
    // Still flooding: the sounds of the first minute leave the window one
    // by one, and only a minute after the first warning comes another.
    EXPECT_EQ("DDD", Verdicts(gate, 2, {1 * kSecond, 30 * kSecond, 59 * kSecond}));
    EXPECT_EQ("PPW", Verdicts(gate, 2, {60 * kSecond, 60 * kSecond, 60 * kSecond}));
    EXPECT_EQ("D", Verdicts(gate, 2, {119 * kSecond}));
    EXPECT_EQ("PP", Verdicts(gate, 2, {120 * kSecond, 121 * kSecond}));
}

TEST_F(FloodGateTest, ALimitSetInMidFloodCountsTheMinuteGoneBy) {
    EXPECT_EQ("PPPP", Verdicts(gate, 0, {0, 1, 2, 3}));
    EXPECT_EQ("W", Verdicts(gate, 3, {4}));
    EXPECT_EQ("P", Verdicts(gate, 5, {5}));
    EXPECT_EQ("D", Verdicts(gate, 5, {6}));
}

TEST_F(FloodGateTest, AClockThatJumpedBackStartsAfresh) {
    EXPECT_EQ("PPW", Verdicts(gate, 2, {500 * kSecond, 500 * kSecond, 500 * kSecond}));
    EXPECT_EQ("PPW", Verdicts(gate, 2, {10, 10, 10}));
}

TEST(TickClockTest, CarriesOnPastTheWrapOfTheTick) {
    TickClock clock = {};
    EXPECT_EQ(0xFFFFFF00ull, ExtendTick(clock, 0xFFFFFF00u));
    EXPECT_EQ(0xFFFFFFFFull, ExtendTick(clock, 0xFFFFFFFFu));
    const uint64_t after = ExtendTick(clock, 0x10u);
    EXPECT_EQ(0x100000010ull, after);
    EXPECT_EQ(0x100000010ull, ExtendTick(clock, 0x10u)); // the same tick twice
    EXPECT_EQ(0x200000005ull, ExtendTick(clock, 0x5u));

    // Across the wrap the gate still sees 17 ms, not 49 days.
    FloodGate gate;
    ResetFloodGate(gate);
    TickClock wrapping = {};
    EXPECT_EQ(kFloodPass, AdmitToFloodGate(gate, 1, ExtendTick(wrapping, 0xFFFFFFF0u)));
    EXPECT_EQ(kFloodDropAndWarn, AdmitToFloodGate(gate, 1, ExtendTick(wrapping, 0x1u)));
}

} // namespace
