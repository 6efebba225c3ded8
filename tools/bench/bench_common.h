// What the two bench programs share: the clock and the row format. Each row
// carries its place in the table; run-bench.sh sorts the rows of both
// programs into the one table it prints.
#ifndef SONABELL_TOOLS_BENCH_COMMON_H
#define SONABELL_TOOLS_BENCH_COMMON_H

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Places, so the table reads in the order a sound's life runs.
enum BenchPlace {
    kPlaceInitialize = 100,
    kPlaceParseCommand = 200,
    kPlaceReceiveNotify = 300,
    kPlaceEngineStart = 310,
    kPlaceFirstFrame = 320,
    kPlaceDevice = 330,
    kPlaceMixing = 340,
    kPlaceDecoding = 400,
    kPlaceLoudness = 450,
    kPlacePanel = 500,
    kPlaceSoundpack = 600,
    kPlaceDllSize = 700,
    kPlaceHeap = 800,
};

// The fastest, median and slowest of some timings; -1 for none.
struct Spread {
    double min = -1;
    double median = -1;
    double max = -1;
};

inline Spread SpreadOf(std::vector<double> v) {
    Spread s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.median = v[v.size() / 2];
    s.max = v.back();
    return s;
}

// Every timing, for pooling runs: "<what>: 31.2 35.0 ... ms" on stderr.
inline void LogTimings(const char* what, const std::vector<double>& v) {
    std::fprintf(stderr, "%s:", what);
    for (double ms : v)
        std::fprintf(stderr, " %.1f", ms);
    std::fprintf(stderr, " ms\n");
}

inline void BenchRow(int place, const char* what, double value, const char* unit) {
    std::printf("%04d| %-62s | %10.3f %-4s |\n", place, what, value, unit);
}

#endif
