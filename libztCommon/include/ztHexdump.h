/* Hex-dump formatters used by the library trace. */
#ifndef ZT_HEXDUMP_H
#define ZT_HEXDUMP_H

#include "ztApi.h"

ZT_BEGIN_DECLS

#define ZT_DMSG_CHANNELS 30

/* Message hex-dump channels: label (12 characters; NULL in the last row) and mask bit
 * tested against g_debug. Index 0 never dumps. */
ZT_API extern const char* s_dmsgstr[ZT_DMSG_CHANNELS];
ZT_API extern unsigned int s_dmsghex[ZT_DMSG_CHANNELS];

/* One 16-position dump line ("%-11s%08x  " label and aligned address, bytes, text column)
 * into dst; advances *addr and *idx by 16; returns the number of characters written. */
ZT_API int hexline(char* dst, unsigned size, const char* label, unsigned* addr, int* idx,
                   const unsigned char* buf, int len);
/* Dumps through the library trace (verbosity above 7); long dumps are shortened unless
 * bit 9 of g_debug_level is set. */
ZT_API void hexprint(const char* label, unsigned addr, const unsigned char* buf, int len);
/* Label then "%02x" per byte, 16 bytes a line, groups of four ending at the data's end. */
ZT_API void hexprint_noaddr(const char* label, unsigned unused, const unsigned char* buf, int len);
/* Hex dump into dst (always NUL-terminated when size > 0); returns the characters written.
 * snhexdump shows real, 16-aligned addresses; snhexdump0 offsets from 0. */
ZT_API int snhexdump(char* dst, unsigned size, const void* ptr, unsigned len, const char* prefix);
ZT_API int snhexdump0(char* dst, unsigned size, const void* ptr, unsigned len, const char* prefix);

ZT_END_DECLS

#endif
