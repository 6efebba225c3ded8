// The engine bench's rows for evening out the loudness.
#ifndef SONABELL_TOOLS_BENCH_LOUDNESS_BENCH_H
#define SONABELL_TOOLS_BENCH_LOUDNESS_BENCH_H

#include <string>

void BenchLoudness(const std::string& mediaDir);

#endif
