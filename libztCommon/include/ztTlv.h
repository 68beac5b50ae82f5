/* TLV messages: 4-byte header (big-endian total length, 0, category) then elements
 * (0, big-endian value length, type, value). All functions work in place on the caller's
 * buffer and never allocate. */
#ifndef ZT_TLV_H
#define ZT_TLV_H

#include <stdint.h>

#include "ztApi.h"

ZT_BEGIN_DECLS

#define ZTMSG_MAX 1500 /* largest message, header included; also every mailbox's message size */

enum {
    TLV_CMD = 0x41,    /* 'A' command code */
    TLV_CMDARG = 0x42, /* 'B' command argument */
    TLV_DST = 0x43,    /* 'C' destination mailbox name, no terminator */
    TLV_SRC = 0x44,    /* 'D' source (reply) mailbox name, no terminator */
    TLV_RSPARG = 0x45, /* 'E' response argument */
    TLV_VOID = 0x58,   /* 'X' element blanked by sntlv_void */
    TLV_END = 0xEE     /* ending element, length 0 */
};

/* Writes a header of total length 4 with the category; returns 4. size is ignored. */
ZT_API int sntlv_msg_init(unsigned char* buf, int size, int cat);
/* Total length read as signed 16-bit. */
ZT_API int sntlv_msg_len(const unsigned char* buf);
/* Appends an element; returns its size (4 + len) or 0 when it does not fit in size bytes.
 * An empty TLV_SRC or TLV_DST is a library assertion (the process ends). */
ZT_API int sntlv_add_bin(unsigned char* buf, int size, int type, int len, const void* val);
/* As sntlv_add_bin, the value being the first len bytes of val as it lies in memory
 * (len above 4 is refused with 0). Used with len 0 to append TLV_END. */
ZT_API int sntlv_add_dat(unsigned char* buf, int size, int type, int len, uint32_t val);
/* First element of the type (its leading 0 byte; the value is 4 bytes further) or NULL.
 * The walk stays within the total length and ZTMSG_MAX. */
ZT_API unsigned char* tlv_find(const unsigned char* buf, int type);
/* Copies the first element's value into dst when its length is < dstsize (no terminator
 * added); returns that length, or 0. */
ZT_API int sntlv_find(void* dst, int dstsize, int type, const unsigned char* buf);
/* Turns the first element of the type into TLV_VOID with zeroed value; asserts if absent. */
ZT_API void sntlv_void(unsigned char* buf, int type);
/* Drops the first element of the type (must be the last one) from the total length;
 * returns minus its size; asserts if absent. size is ignored. */
ZT_API int sntlv_remove(unsigned char* buf, int size, int type);
/* 0 valid, -1 damaged frame, -2 invalid category, -3 missing element. Never writes buf. */
ZT_API int tlv_validate(const unsigned char* buf);
/* Writes the count (1..4) low-order bytes of val, most significant first, within size
 * bytes (NUL-terminated when room remains); returns the number of bytes written. */
ZT_API int snLoclItoI(char* dst, int size, int count, uint32_t val);
/* Copies count bytes; returns count, or 0 when count is 0 or larger than size. */
ZT_API int snLoclbin(void* dst, int size, int count, const void* src);

ZT_END_DECLS

#endif
