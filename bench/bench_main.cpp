// Main of every benchmark program: a short measuring time by default, so that `./run.sh bench`
// stays well under a minute on a small machine. A --benchmark_min_time given on the command line
// comes later and wins. The exit status is 1 when a benchmark could not measure (benchFail).
#include <atomic>
#include <vector>

#include "bench_support.h"

namespace {
std::atomic<bool> g_failed{false};
}

void benchFail(benchmark::State& state, const char* why)
{
    g_failed = true;
    state.SkipWithError(why);
}

int main(int argc, char** argv)
{
    static char shortRuns[] = "--benchmark_min_time=0.1";
    std::vector<char*> args;
    args.push_back(argv[0]);
    args.push_back(shortRuns);
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_failed ? 1 : 0;
}
