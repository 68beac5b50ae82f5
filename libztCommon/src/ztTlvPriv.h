/* TLV helpers shared inside the library (internal). */
#ifndef ZT_TLV_PRIV_H
#define ZT_TLV_PRIV_H

#include "ztTlv.h"

/* Bytes of the message that may be read: the total length, capped at ZTMSG_MAX. */
int zt_tlv_extent(const unsigned char* buf);

/* Value length of an element found by tlv_find, or -1 when the value runs past the message. */
int zt_tlv_value_len(const unsigned char* buf, const unsigned char* tlv);

#endif
