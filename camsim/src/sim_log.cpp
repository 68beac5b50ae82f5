#include "sim_log.h"

#include <stdarg.h>
#include <stdio.h>

namespace camsim {

void SimLog::write(int level, const char* format, ...) const {
    if (!enabled(level)) return;
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    // One fprintf per line keeps lines of concurrent threads whole.
    fprintf(stderr, "ztcamsim: %s\n", line);
}

}  // namespace camsim
