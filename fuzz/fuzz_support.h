// Shared by the fuzz targets: invariant checks and a silent library.
#ifndef ZT_FUZZ_SUPPORT_H
#define ZT_FUZZ_SUPPORT_H

#include <stdio.h>
#include <stdlib.h>

#include "ztLog.h"

// A violated invariant ends the run with abort(), which libFuzzer and the standalone driver
// both report as a crash, with the input saved.
#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            abort();                                                                       \
        }                                                                                  \
    } while (0)

// Rejected inputs would otherwise send a level-log line and a library trace line to syslog
// for every run, which floods the log and costs more than the parsing being fuzzed.
// ZT_FUZZ_VERBOSE=1 keeps both, so that the formatting of rejection messages is fuzzed too.
inline bool fuzzSilenceLogs()
{
    const char* verbose = getenv("ZT_FUZZ_VERBOSE");
    if (verbose != nullptr && verbose[0] == '1')
        return false;
    g_logLevel = UTIL_LOG_OFF;
    g_debug_level = 0;
    return true;
}

#endif
