/* TLV message building, search and editing. */
#include "ztTlv.h"

#include <string.h>

#include "ztTlvPriv.h"
#include "ztTrace.h"

#define TLV_HDR 4 /* message header and element header alike */

static unsigned rd16(const unsigned char* p)
{
    return ((unsigned)p[0] << 8) | p[1];
}

static void wr16(unsigned char* p, unsigned v)
{
    p[0] = (unsigned char)(v >> 8);
    p[1] = (unsigned char)v;
}

int sntlv_msg_init(unsigned char* buf, int size, int cat)
{
    (void)size;
    if (buf == NULL)
        return 0;
    wr16(buf, TLV_HDR);
    buf[2] = 0;
    buf[3] = (unsigned char)cat;
    return TLV_HDR;
}

int sntlv_msg_len(const unsigned char* buf)
{
    return buf != NULL ? (int16_t)rd16(buf) : 0;
}

int zt_tlv_extent(const unsigned char* buf)
{
    int total = sntlv_msg_len(buf);
    return total > ZTMSG_MAX ? ZTMSG_MAX : total;
}

int zt_tlv_value_len(const unsigned char* buf, const unsigned char* tlv)
{
    int vlen = (int)rd16(tlv + 1);
    long end = (long)(tlv - buf) + TLV_HDR + vlen;
    return end <= zt_tlv_extent(buf) ? vlen : -1;
}

int sntlv_add_bin(unsigned char* buf, int size, int type, int len, const void* val)
{
    if (buf == NULL)
        return 0;
    unsigned total = rd16(buf);
    int atype = type;
    uint16_t alen = (uint16_t)len;
    if ((long)total + TLV_HDR + alen > (long)size)
        return 0;
    ZT_LIB_ASSERT((atype != TLV_SRC) || (alen > 0));
    ZT_LIB_ASSERT((atype != TLV_DST) || (alen > 0));
    if (alen > 0 && val == NULL) {
        ZT_TRACE("type 0x%02x: %u value bytes from a null pointer\n", (unsigned)atype & 0xFFu, alen);
        return 0;
    }
    unsigned char* tlv = buf + total;
    tlv[0] = 0;
    wr16(tlv + 1, alen);
    tlv[3] = (unsigned char)atype;
    if (alen > 0)
        memcpy(tlv + TLV_HDR, val, alen);
    wr16(buf, total + TLV_HDR + alen);
    return TLV_HDR + alen;
}

int sntlv_add_dat(unsigned char* buf, int size, int type, int len, uint32_t val)
{
    if (len < 0 || (size_t)len > sizeof val)
        return 0;
    return sntlv_add_bin(buf, size, type, len, &val);
}

unsigned char* tlv_find(const unsigned char* buf, int type)
{
    if (buf == NULL)
        return NULL;
    int rest = zt_tlv_extent(buf) - TLV_HDR;
    const unsigned char* elems = buf + TLV_HDR;
    /* A whole element header must lie within the message before it is looked at. */
    for (long pos = 0; pos + TLV_HDR <= rest; pos += TLV_HDR + rd16(elems + pos + 1)) {
        if (elems[pos + 3] == (unsigned char)type)
            return (unsigned char*)(elems + pos);
    }
    return NULL;
}

int sntlv_find(void* dst, int dstsize, int type, const unsigned char* buf)
{
    const unsigned char* tlv = tlv_find(buf, type);
    if (tlv == NULL || dst == NULL)
        return 0;
    int vlen = zt_tlv_value_len(buf, tlv);
    if (vlen < 0 || vlen >= dstsize)
        return 0;
    memcpy(dst, tlv + TLV_HDR, (size_t)vlen);
    return vlen;
}

void sntlv_void(unsigned char* buf, int type)
{
    unsigned char* tlv = tlv_find(buf, type);
    ZT_LIB_ASSERT(tlv != NULL);
    tlv[3] = TLV_VOID;
    /* Clear only what lies inside the message, whatever the length field says. */
    long avail = zt_tlv_extent(buf) - (tlv - buf) - TLV_HDR;
    long vlen = (long)rd16(tlv + 1);
    memset(tlv + TLV_HDR, 0, (size_t)(vlen < avail ? vlen : avail));
}

int sntlv_remove(unsigned char* buf, int size, int type)
{
    (void)size;
    unsigned char* tlvend = tlv_find(buf, type);
    ZT_LIB_ASSERT(tlvend != NULL);
    unsigned elemSize = TLV_HDR + rd16(tlvend + 1);
    wr16(buf, rd16(buf) - elemSize);
    return -(int)elemSize;
}

int snLoclItoI(char* dst, int size, int count, uint32_t val)
{
    if (dst == NULL || count < 1 || count > 4)
        return 0;
    int n = 0;
    for (int shift = 8 * (count - 1); shift >= 0 && n < size; shift -= 8)
        dst[n++] = (char)(val >> shift);
    if (n < size)
        dst[n] = '\0';
    return n;
}

int snLoclbin(void* dst, int size, int count, const void* src)
{
    if (dst == NULL || src == NULL || count <= 0 || count > size)
        return 0;
    memcpy(dst, src, (size_t)count);
    return count;
}
