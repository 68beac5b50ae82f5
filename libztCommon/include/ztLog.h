/* Level log, library trace control globals and the log sink hook. */
#ifndef ZT_LOG_H
#define ZT_LOG_H

#include "ztApi.h"

ZT_BEGIN_DECLS

/* Levels of the level log; DEBUG ranks below INFO (INFO is more verbose). */
enum {
    UTIL_LOG_OFF = 0,
    UTIL_LOG_FATAL = 1,
    UTIL_LOG_ERROR = 2,
    UTIL_LOG_WARN = 3,
    UTIL_LOG_DEBUG = 4,
    UTIL_LOG_INFO = 5,
    UTIL_LOG_TRACE = 6
};

/* Process-wide, writable at run time, read without locks. */
ZT_API extern int g_logLevel;               /* level-log threshold, initially 2 */
ZT_API extern unsigned int g_debug_level;   /* library trace control word, initially 0x00285420 */
ZT_API extern unsigned int g_debug;         /* hex-dump channel mask, initially 0x30000000 */
ZT_API extern int g_timedreceive;           /* seconds of a timed mailbox receive, initially 10 */

/* Formats one level-log line and sends it to the system log at LOG_ERR, waiting for the log's
 * reader at most 10 ms: a line it does not take in time is dropped and counted, and the count is
 * logged once it reads again. Does not test g_logLevel:
 * call it through ZTLOG. A level outside 0..6 is logged under the name "UTIL_LOG_?????". */
ZT_API void ztUtilKlogMsgLevel(int level, int line, const char* file, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

/* Sets g_logLevel; values above 6 are ignored. */
ZT_API void ztUtilSetLogLevel(unsigned level);

/* Log sink hook: every finished level-log line (exactly the text sent to the system log) is also
 * handed to the installed sink, with its level. NULL uninstalls. Installing is thread-safe:
 * once ztUtilSetLogSink returns, the previous sink is not running and is never called again.
 * Sinks may run concurrently from several logging threads and must not install a sink. */
typedef void (*ztLogSink)(int level, const char* line, void* ctx);
ZT_API void ztUtilSetLogSink(ztLogSink sink, void* ctx);

#if defined(__FILE_NAME__)
#define ZT_FILE_BASENAME __FILE_NAME__
#else
#define ZT_FILE_BASENAME                                                                  \
    (__builtin_strrchr(__FILE__, '/') ? __builtin_strrchr(__FILE__, '/') + 1 : __FILE__)
#endif

/* Level-log call site: tests the level before any argument is evaluated, and passes the
 * caller's source file base name and line. */
#define ZTLOG(level, ...)                                                                 \
    do {                                                                                  \
        if (__atomic_load_n(&g_logLevel, __ATOMIC_RELAXED) >= (level))                    \
            ztUtilKlogMsgLevel((level), __LINE__, ZT_FILE_BASENAME, __VA_ARGS__);        \
    } while (0)

ZT_END_DECLS

#endif
