// Shared by the benchmark programs.
#ifndef ZT_BENCH_SUPPORT_H
#define ZT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

// Skips the benchmark with the reason and makes the program exit with status 1, so that a run
// that measured nothing (a simulator that did not start, a sample that does not parse) is not
// taken for a result.
void benchFail(benchmark::State& state, const char* why);

#endif
