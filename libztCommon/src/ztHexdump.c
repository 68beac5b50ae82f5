/* Hex-dump formatters: trace dumps (hexprint) and dumps into a caller's buffer (snhexdump). */
#include "ztHexdump.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "ztTrace.h"

#define FULL_DUMP 0x200u
#define HEXLINE_BUF 98
#define SHORT_FROM 80  /* index from which long dumps skip lines... */
#define SHORT_TAIL 31  /* ...unless at most this many bytes remain */

const char* s_dmsgstr[ZT_DMSG_CHANNELS] = {
    "            ", ">Hb         ", " Hb>        ", " Hb<        ", "<Hb         ",
    ">Hc         ", " Hc>        ", " Hc<        ", "<Hc         ", ">UD         ",
    " UD>        ", " UD<        ", "<UD         ", "    >GN     ", "     GN>    ",
    "     GN<    ", "    <GN     ", "        >RT ", "         RT>", "         RT<",
    "        <RT ", "        >WI ", "        <WI ", "        >BT ", "        <BT ",
    "        >XX ", "        <XX ", "DB>         ", "DB<         ", NULL,
};

unsigned int s_dmsghex[ZT_DMSG_CHANNELS] = {
    0,        0x1,       0x2,       0x4,       0x8,       0x10,       0x20,       0x40,
    0x80,     0x100,     0x200,     0x400,     0x800,     0x10000,    0x20000,    0x40000,
    0x80000,  0x100000,  0x200000,  0x400000,  0x800000,  0x1000000,  0x2000000,  0x4000000,
    0x8000000, 0x10000000, 0x20000000, 0x4000000, 0x8000000, 0,
};

/* Bounded appender: keeps dst NUL-terminated and counts what was really written. */
typedef struct {
    char* dst;
    size_t size;
    size_t n;
} Out;

static void put(Out* o, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void put(Out* o, const char* format, ...)
{
    if (o->n + 1 >= o->size)
        return;
    va_list ap;
    va_start(ap, format);
    int w = vsnprintf(o->dst + o->n, o->size - o->n, format, ap);
    va_end(ap);
    if (w > 0)
        o->n += (size_t)w < o->size - o->n ? (size_t)w : o->size - o->n - 1;
}

static char text_char(unsigned char c)
{
    return (c >= 0x20 && c <= 0x7E) ? (char)c : '.';
}

int hexline(char* dst, unsigned size, const char* label, unsigned* addr, int* idx,
            const unsigned char* buf, int len)
{
    if (dst == NULL || size == 0 || addr == NULL || idx == NULL)
        return 0;
    Out o = {dst, size, 0};
    dst[0] = '\0';
    char text[17];
    put(&o, "%-11s%08x  ", label != NULL ? label : "", *addr);
    for (int pos = 0; pos < 16; pos++, (*addr)++, (*idx)++) {
        int in = buf != NULL && *idx >= 0 && *idx < len;
        if (in)
            put(&o, "%02x", buf[*idx]);
        else
            put(&o, "  ");
        if (pos == 3 || pos == 7 || pos == 11)
            put(&o, " ");
        text[pos] = in ? text_char(buf[*idx]) : ' ';
    }
    text[16] = '\0';
    put(&o, "  %s", text);
    return (int)o.n;
}

void hexprint(const char* label, unsigned addr, const unsigned char* buf, int len)
{
    if (!zt_trace_on(ZT_TRACE_ERRORS))
        return;
    zt_trace_text(ZT_TRACE_ERRORS, "\n");
    if (buf == NULL)
        return;
    int idx = -(int)(addr % 16u);
    addr -= addr % 16u;
    char line[HEXLINE_BUF];
    while (idx < len) {
        hexline(line, sizeof line, label, &addr, &idx, buf, len);
        if ((g_debug_level & FULL_DUMP) || idx < SHORT_FROM || len - idx <= SHORT_TAIL)
            zt_trace_text(ZT_TRACE_ERRORS, "%s\n", line);
    }
}

void hexprint_noaddr(const char* label, unsigned unused, const unsigned char* buf, int len)
{
    (void)unused;
    if (buf == NULL || !zt_trace_on(ZT_TRACE_ERRORS))
        return;
    int group = len < 4 ? 0 : len % 4; /* groups of four end at the end of the data */
    char line[HEXLINE_BUF];
    for (int start = 0; start < len; start += 16) {
        Out o = {line, sizeof line, 0};
        line[0] = '\0';
        put(&o, "%s", label != NULL ? label : "");
        for (int i = start; i < start + 16 && i < len; i++)
            put(&o, i % 4 == group ? " %02x" : "%02x", buf[i]);
        zt_trace_text(ZT_TRACE_ERRORS, "%s\n", line);
    }
}

/* One line of a buffer dump; offsets from p, positions outside [0, len) blank. */
static void dump_line(Out* o, const unsigned char* p, long off, size_t len, unsigned long shown,
                      const char* prefix)
{
    char text[17];
    put(o, "%s%0*lX  ", prefix, 8, shown);
    for (int k = 0; k < 16; k++) {
        long at = off + k;
        int in = at >= 0 && (size_t)at < len;
        if (in)
            put(o, "%0*X ", 2, p[at]);
        else
            put(o, "   ");
        if (k % 4 == 3)
            put(o, " ");
        text[k] = in ? text_char(p[at]) : ' ';
    }
    text[16] = '\0';
    put(o, "%s\n", text);
}

static int _snhexdump(char* dst, unsigned size, const void* ptr, unsigned len, int align,
                      const char* prefix)
{
    if (dst == NULL || size == 0)
        return 0;
    Out o = {dst, size, 0};
    dst[0] = '\0';
    if (len == 0 || ptr == NULL) {
        put(&o, "%p\n", ptr);
        return (int)o.n;
    }
    const unsigned char* p = ptr;
    uintptr_t base = (uintptr_t)ptr;
    long first = align ? -(long)(base & 15u) : 0;
    int repeating = 0;
    for (long off = first; off < (long)len && o.n + 1 < o.size; off += 16) {
        /* A full line equal to the full line before it is folded into "...". */
        if (off != first && off >= 16 && (long)len - off >= 16 && memcmp(p + off, p + off - 16, 16) == 0) {
            repeating = 1;
            continue;
        }
        if (repeating)
            put(&o, "...\n");
        repeating = 0;
        unsigned long shown = align ? (unsigned long)(base + (uintptr_t)off) : (unsigned long)off;
        dump_line(&o, p, off, len, shown, prefix != NULL ? prefix : "");
    }
    if (repeating)
        put(&o, "...\n");
    return (int)o.n;
}

int snhexdump(char* dst, unsigned size, const void* ptr, unsigned len, const char* prefix)
{
    return _snhexdump(dst, size, ptr, len, 1, prefix);
}

int snhexdump0(char* dst, unsigned size, const void* ptr, unsigned len, const char* prefix)
{
    return _snhexdump(dst, size, ptr, len, 0, prefix);
}
