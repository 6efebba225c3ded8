// The engine bench's rows for idle and for scripted faults.
#ifndef SONABELL_TOOLS_BENCH_IDLE_FAULT_BENCH_H
#define SONABELL_TOOLS_BENCH_IDLE_FAULT_BENCH_H

#include <string>

void BenchIdleAndFaults(const std::string& mediaDir);

#endif
