/* Library trace: the diagnostic output of the messaging library itself (internal). */
#ifndef ZT_TRACE_H
#define ZT_TRACE_H

#include "ztLog.h"

/* Verbosity (low byte of g_debug_level) must exceed these for an output to appear. */
#define ZT_TRACE_ERRORS 7   /* assertions, DMSGERR, hex dumps */
#define ZT_TRACE_DETAILS 15 /* trace lines, validation messages */

/* Path of the reporting source file within the library, as shown by assertions. */
#define ZT_LIB_SRC_PATH "libztCommon/src/" __FILE_NAME__

/* 1 when the verbosity exceeds threshold. */
int zt_trace_on(unsigned threshold);

/* Free-text output: "<timestamp> <text>" on stdout (bit 30) and in the log file (bit 29),
 * "<text>" in syslog, when the verbosity exceeds threshold. */
void zt_trace_text(unsigned threshold, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* Trace line "[%16s:%4d] " tag and line, then the message. */
void zt_trace_line(unsigned threshold, const char* tag, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

/* Library assertion: ASSERT line (verbosity above 7), then exit(-1). */
void zt_assert_fail(const char* path, const char* func, int line, const char* cond)
    __attribute__((noreturn));

void zt_sleep_ms(unsigned ms);

#define ZT_TRACE(...) zt_trace_line(ZT_TRACE_DETAILS, __func__, __LINE__, __VA_ARGS__)

/* The condition's own text, stringified before any macro in it is expanded, is what the
 * ASSERT line shows. */
#define ZT_LIB_ASSERT_TEXT(func, cond, text)                                              \
    do {                                                                                  \
        if (!(cond))                                                                      \
            zt_assert_fail(ZT_LIB_SRC_PATH, (func), __LINE__, (text));                    \
    } while (0)
#define ZT_LIB_ASSERT_IN(func, cond) ZT_LIB_ASSERT_TEXT(func, cond, #cond)
#define ZT_LIB_ASSERT(cond) ZT_LIB_ASSERT_TEXT(__func__, cond, #cond)

#endif
