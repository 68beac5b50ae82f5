/* Library trace outputs: standard output, the trace log file and syslog. */
#include "ztTrace.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <time.h>

#define TRACE_TO_STDOUT 0x40000000u
#define TRACE_TO_FILE 0x20000000u
#define TRACE_FILE "/tmp/fuse_d/wifi_log.txt"
#define TRACE_TEXT_MAX 640

int zt_trace_on(unsigned threshold)
{
    return (g_debug_level & 0xFFu) > threshold;
}

static void timestamp(char ts[20])
{
    time_t now = time(NULL);
    struct tm tmv;
    ts[0] = '\0';
    if (localtime_r(&now, &tmv) != NULL)
        strftime(ts, 20, "%b%d %H:%M:%S", &tmv);
}

static void emit(const char* text)
{
    char ts[20];
    timestamp(ts);
    if (g_debug_level & TRACE_TO_STDOUT) {
        printf("%s %s", ts, text);
        fflush(stdout);
    }
    /* Read again: the flag may have changed while printing. */
    if (g_debug_level & TRACE_TO_FILE) {
        FILE* f = fopen(TRACE_FILE, "a+");
        if (f != NULL) {
            fprintf(f, "%s %s", ts, text);
            fclose(f);
        }
    }
    openlog(NULL, LOG_CONS | LOG_PERROR, LOG_USER);
    syslog(LOG_DEBUG, "%s", text);
    closelog();
}

void zt_trace_text(unsigned threshold, const char* format, ...)
{
    if (!zt_trace_on(threshold))
        return;
    char text[TRACE_TEXT_MAX];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    emit(text);
}

void zt_trace_line(unsigned threshold, const char* tag, int line, const char* format, ...)
{
    if (!zt_trace_on(threshold))
        return;
    char text[TRACE_TEXT_MAX];
    int n = snprintf(text, sizeof text, "[%16s:%4d] ", tag, line);
    if (n > 0 && (size_t)n < sizeof text) {
        va_list ap;
        va_start(ap, format);
        vsnprintf(text + n, sizeof text - (size_t)n, format, ap);
        va_end(ap);
    }
    emit(text);
}

void zt_assert_fail(const char* path, const char* func, int line, const char* cond)
{
    zt_trace_text(ZT_TRACE_ERRORS, "\033[31mASSERT:%s/%s:%d:%s\n\033[0m", path, func, line, cond);
    exit(-1);
}

void zt_sleep_ms(unsigned ms)
{
    struct timespec ts = {(time_t)(ms / 1000u), (long)(ms % 1000u) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}
