/* Request/response messaging: build, complete, send, and the timed exchange. */
#include "ztMsg.h"

#include <string.h>

#include "ztHexdump.h"
#include "ztMbox.h"
#include "ztTlvPriv.h"
#include "ztTrace.h"

#define DUMP_ENABLE 0x100u

static int capacity(const ztMsgIobuf* iobuf)
{
    return iobuf->size < ZTMSG_MAX ? (int)iobuf->size : ZTMSG_MAX;
}

void ztmsg_build(ztMsgIobuf* iobuf, const char* cmd, const void* arg, int arglen, int cat)
{
    if (iobuf == NULL)
        return;
    /* Exactly two command bytes, without reading past a shorter string. */
    char code[2] = {0, 0};
    if (cmd != NULL)
        memcpy(code, cmd, strnlen(cmd, sizeof code));
    int size = capacity(iobuf);
    iobuf->len = sntlv_msg_init(iobuf->buf, size, cat);
    iobuf->len += sntlv_add_bin(iobuf->buf, size, TLV_CMD, sizeof code, code);
    iobuf->len += sntlv_add_bin(iobuf->buf, size, TLV_CMDARG, arglen, arg);
}

static void dump(const ztMsgIobuf* iobuf, int chan)
{
    if (!(g_debug_level & DUMP_ENABLE) || chan < 0 || chan >= ZT_DMSG_CHANNELS)
        return;
    if (s_dmsghex[chan] & g_debug)
        hexprint(s_dmsgstr[chan], 0, iobuf->buf, iobuf->len);
}

/* Appends SRC, DST and END, dumps, and validates; func names the caller in the ASSERT line. */
static void complete(ztMsgIobuf* iobuf, const char* from, const char* to, int chan, const char* func)
{
    int size = capacity(iobuf);
    from = from != NULL ? from : "";
    to = to != NULL ? to : "";
    iobuf->len += sntlv_add_bin(iobuf->buf, size, TLV_SRC, (int)strlen(from), from);
    iobuf->len += sntlv_add_bin(iobuf->buf, size, TLV_DST, (int)strlen(to), to);
    iobuf->len += sntlv_add_dat(iobuf->buf, size, TLV_END, 0, 0);
    dump(iobuf, chan);
    ZT_LIB_ASSERT_IN(func, 0 == tlv_validate(iobuf->buf));
}

int ztmsg_send(ztMsgIobuf* iobuf, const char* from, const char* to, const char* via, int chan)
{
    ztMboxAttr txq;
    if (iobuf == NULL)
        return -1;
    complete(iobuf, from, to, chan, __func__);
    if (via == NULL)
        via = to;
    ZT_LIB_ASSERT(ztMbox_txopen(via, &txq) == 0);
    ztMbox_send(iobuf->buf, iobuf->len, &txq);
    return ztMbox_close(&txq);
}

int ztmsg_send_timedreceive(ztMsgIobuf* iobuf, const char* from, const char* to, const char* via,
                            int chan)
{
    ztMboxAttr rxq;
    ztMboxAttr txq;
    if (iobuf == NULL)
        return -1;
    complete(iobuf, from, to, chan, __func__);
    if (via == NULL)
        via = to;
    ZT_LIB_ASSERT(ztMbox_rxopen_shared(from, ZTMSG_MAX_COUNT_SM, &rxq) == 0);
    ZT_LIB_ASSERT(ztMbox_txopen(via, &txq) == 0);
    ztMbox_send(iobuf->buf, iobuf->len, &txq);
    ztMbox_close(&txq);

    iobuf->len = snztMbox_timedreceive(iobuf->buf, capacity(iobuf), &rxq);
    ztMbox_close(&rxq);
    ztMbox_unlink(from);
    if (tlv_validate(iobuf->buf) == 0)
        return iobuf->len;

    zt_trace_line(ZT_TRACE_ERRORS, "DMSGERR", __LINE__, "%s:\n\n", __func__);
    hexprint("ERROR", 0, iobuf->buf, iobuf->len);
    ZT_LIB_ASSERT(0 == tlv_validate(iobuf->buf));
    return -1;
}

void ztmsg_response(ztMsgIobuf* iobuf, unsigned char** val, uint16_t* len)
{
    if (iobuf == NULL || val == NULL || len == NULL)
        return;
    unsigned char* tlv = tlv_find(iobuf->buf, TLV_RSPARG);
    if (tlv == NULL)
        return;
    int vlen = zt_tlv_value_len(iobuf->buf, tlv);
    if (vlen < 0)
        return;
    *val = tlv + 4;
    *len = (uint16_t)vlen;
}
