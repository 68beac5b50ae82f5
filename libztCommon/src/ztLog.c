/* Level log and the process-wide control globals. */
#include "ztLog.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "ztLogSend.h"

int g_logLevel = UTIL_LOG_ERROR;
unsigned int g_debug_level = 0x00285420u;
unsigned int g_debug = 0x30000000u;
int g_timedreceive = 10;

#define LINE_BUF 441     /* whole line buffer */
#define LINE_CUT 350     /* prefix + message take at most LINE_CUT - 1 characters */
#define LINE_TOTAL 440   /* the suffix may run up to here */
#define PREFIX_LEN 15    /* 14-character level name and a colon */

static const char* const s_levelNames[] = {
    "UTIL_LOG_OFF  ", "UTIL_LOG_FATAL", "UTIL_LOG_ERROR", "UTIL_LOG_WARN ",
    "UTIL_LOG_DEBUG", "UTIL_LOG_INFO ", "UTIL_LOG_TRACE",
};
static const char s_badLevelName[] = "UTIL_LOG_?????";

static pthread_rwlock_t s_sinkLock = PTHREAD_RWLOCK_INITIALIZER;
static ztLogSink s_sink;
static void* s_sinkCtx;

void ztUtilSetLogSink(ztLogSink sink, void* ctx)
{
    pthread_rwlock_wrlock(&s_sinkLock);
    s_sink = sink;
    s_sinkCtx = ctx;
    pthread_rwlock_unlock(&s_sinkLock);
}

static void to_sink(int level, const char* line)
{
    pthread_rwlock_rdlock(&s_sinkLock);
    if (s_sink != NULL)
        s_sink(level, line, s_sinkCtx);
    pthread_rwlock_unlock(&s_sinkLock);
}

void ztUtilKlogMsgLevel(int level, int line, const char* file, const char* format, ...)
{
    char buf[LINE_BUF];
    memset(buf, 0, sizeof buf);
    const char* name = (level >= UTIL_LOG_OFF && level <= UTIL_LOG_TRACE) ? s_levelNames[level]
                                                                           : s_badLevelName;
    int pos = snprintf(buf, sizeof buf, "%s:", name);

    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf + pos, (size_t)(LINE_CUT - pos), format, ap);
    va_end(ap);
    if (n < 0 || n >= LINE_CUT - pos)
        pos = LINE_CUT - 1; /* cut: the suffix goes right after the 349 characters */
    else
        pos += n;

    size_t room = (size_t)(LINE_TOTAL - pos);
    int s = snprintf(buf + pos, room, " @%s:%d", file != NULL ? file : "", line);
    if (s < 0 || (size_t)s >= room) {
        buf[pos] = ' ';
        buf[pos + 1] = '\0';
    }

    zt_log_send(buf);
    to_sink(level, buf);
}

void ztUtilSetLogLevel(unsigned level)
{
    if (level <= UTIL_LOG_TRACE)
        /* Other threads test the level while command 42 sets it: an atomic store, read
         * atomically by ZTLOG. */
        __atomic_store_n(&g_logLevel, (int)level, __ATOMIC_RELAXED);
}
