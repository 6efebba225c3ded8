// The 64-bit tick that stands in for GetTickCount64 in the DLL.
#include "host/tick_count.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using SystemTickFn = ULONGLONG(WINAPI*)();

SystemTickFn SystemTickCount64() {
    return reinterpret_cast<SystemTickFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
}

TEST(TickCountTest, UsesTheSystemsTickWhereThereIsOne) {
    SystemTickFn system = SystemTickCount64();
    ASSERT_NE(nullptr, system);
    const ULONGLONG before = system();
    const unsigned long long ours = TickCount64();
    const ULONGLONG after = system();
    EXPECT_GE(ours, before);
    EXPECT_LE(ours, after);
}

// The XP stand-in must run at the same rate as the real tick. Each counter
// reading is bracketed by two system readings, so a thread preempted between
// them widens the window instead of failing the test.
TEST(TickCountTest, TheCounterStandInKeepsTime) {
    SystemTickFn system = SystemTickCount64();
    ASSERT_NE(nullptr, system);
    const ULONGLONG startLow = system();
    const unsigned long long counterStart = CounterMilliseconds();
    const ULONGLONG startHigh = system();
    Sleep(300);
    const ULONGLONG endLow = system();
    const unsigned long long counterEnd = CounterMilliseconds();
    const ULONGLONG endHigh = system();

    ASSERT_GE(counterEnd, counterStart);
    const unsigned long long elapsed = counterEnd - counterStart;
    const unsigned long long step = 16; // the system tick's resolution
    EXPECT_GE(elapsed + step, endLow - startHigh);
    EXPECT_LE(elapsed, endHigh - startLow + step);
}

} // namespace
