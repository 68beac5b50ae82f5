/* Validation of a TLV message before sending and on receipt of a reply. */
#include <string.h>

#include "ztTlv.h"
#include "ztTlvPriv.h"
#include "ztTrace.h"

#define TLV_MIN 18

#define VMSG(...) zt_trace_text(ZT_TRACE_DETAILS, __VA_ARGS__)

/* Value of the first element of the type, from character skip on, read in place as a C
 * string but never past the message end; for "%.*s". */
static const char* text_of(const unsigned char* buf, int type, int skip, int* len)
{
    const unsigned char* tlv = tlv_find(buf, type);
    long off = tlv != NULL ? (long)(tlv - buf) + 4 + skip : 0;
    long avail = zt_tlv_extent(buf) - off;
    if (tlv == NULL || avail <= 0) {
        *len = 0;
        return "";
    }
    *len = (int)strnlen((const char*)buf + off, (size_t)avail);
    return (const char*)buf + off;
}

/* Sum of the element sizes, walked while it is below rest. */
static int elements_sum(const unsigned char* buf, int rest)
{
    const unsigned char* elems = buf + 4;
    int sum = 0;
    while (sum < rest) {
        if (sum + 3 > rest)
            return sum + 4; /* the length field itself is cut off */
        sum += 4 + (((int)elems[sum + 1] << 8) | elems[sum + 2]);
    }
    return sum;
}

int tlv_validate(const unsigned char* buf)
{
    if (buf == NULL)
        return -1;
    int total = sntlv_msg_len(buf);
    if (total < TLV_MIN) {
        VMSG("TLV_ERROR: MSG len is too short (%d < %d)\n", total, TLV_MIN);
        return -1;
    }
    if (total > ZTMSG_MAX) {
        VMSG("TLV_ERROR: MSG len is too long (%d > 1500)\n", total);
        return -1;
    }
    int sum = elements_sum(buf, total - 4);
    if (sum != total - 4) {
        VMSG("TLV_ERROR: MSG length (%d) does not match internal length (%d0.\n", sum, total - 4);
        return -1;
    }
    if (buf[total - 1] != TLV_END) {
        VMSG("TLV_ERROR: MSG is missing ending TLV: 0xEE\n");
        return -1;
    }
    if (tlv_find(buf, TLV_CMD) == NULL) {
        VMSG("TLV_ERROR: MSG needs a CMD\n");
        return -3;
    }
    int cmdLen;
    const char* cmd = text_of(buf, TLV_CMD, 0, &cmdLen);
    if (tlv_find(buf, TLV_DST) == NULL) {
        VMSG("TLV_ERROR: :%.*s MSG needs a DST\n", cmdLen, cmd);
        return -3;
    }
    if (tlv_find(buf, TLV_SRC) == NULL) {
        VMSG("TLV_ERROR: :%.*s MSG needs a SRC\n", cmdLen, cmd);
        return -3;
    }
    if (tlv_find(buf, TLV_END) != buf + total - 4) {
        VMSG("TLV_ERROR: :%.*s MSG has too many ending TLV: 0xEE\n", cmdLen, cmd);
        return -1;
    }
    unsigned cat = buf[3];
    if (cat > 0xEF) {
        VMSG("TLV_ERROR: :%.*s MSG needs a known CATagory. CAT=0x%02x\n", cmdLen, cmd, cat);
        return -2;
    }
    int hasCmdArg = tlv_find(buf, TLV_CMDARG) != NULL;
    if (cat & 1u) {
        if (!hasCmdArg) {
            VMSG("TLV_ERROR: MSG :%.*s RSP needs a CMDARG\n", cmdLen, cmd);
            return -3;
        }
        if (tlv_find(buf, TLV_RSPARG) == NULL) {
            int srcLen, dstLen;
            const char* src = text_of(buf, TLV_SRC, 3, &srcLen);
            const char* dst = text_of(buf, TLV_DST, 0, &dstLen);
            VMSG("TLV_WARNING: MSG :%.*s RSP needs a RSPARG fr%.*s %.*s\n", cmdLen, cmd, srcLen, src,
                 dstLen, dst);
        }
        return 0;
    }
    if (!hasCmdArg) {
        VMSG("TLV_ERROR: MSG :%.*s CMD needs a CMDARG\n", cmdLen, cmd);
        return -3;
    }
    return 0;
}
