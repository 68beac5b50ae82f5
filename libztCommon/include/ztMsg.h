/* Request/response messaging over TLV messages and mailboxes. */
#ifndef ZT_MSG_H
#define ZT_MSG_H

#include <stdint.h>

#include "ztApi.h"
#include "ztTlv.h"

ZT_BEGIN_DECLS

#define ZTMSG_MAX_COUNT_SM 2 /* mq_maxmsg of a reply mailbox */

/* Caller-owned message buffer: zero it and set size (at most ZTMSG_MAX is used). */
typedef struct {
    uint32_t size;                 /* capacity of buf in bytes */
    int32_t len;                   /* message length; after a timed exchange the reply's or -1 */
    unsigned char buf[ZTMSG_MAX];  /* the TLV message */
} ztMsgIobuf;

/* Header, TLV_CMD (2 characters of cmd) and TLV_CMDARG (arglen bytes of arg). */
ZT_API void ztmsg_build(ztMsgIobuf* iobuf, const char* cmd, const void* arg, int arglen, int cat);
/* Completes the message (SRC from, DST to, END), validates it and sends it to via (or to
 * when via is NULL). Returns 0; any failure ends the process through a library assertion.
 * chan indexes s_dmsgstr / s_dmsghex for an optional hex dump (0 never dumps). */
ZT_API int ztmsg_send(ztMsgIobuf* iobuf, const char* from, const char* to, const char* via, int chan);
/* As ztmsg_send, then waits g_timedreceive seconds for the reply in the exclusive mailbox
 * "from", which is removed afterwards. Returns the reply's length (now in buf) or -1 on
 * time-out. A damaged reply ends the process. */
ZT_API int ztmsg_send_timedreceive(ztMsgIobuf* iobuf, const char* from, const char* to,
                                   const char* via, int chan);
/* Points *val at the TLV_RSPARG value inside buf and sets *len; leaves both unchanged when
 * there is none (or its length runs past the message). */
ZT_API void ztmsg_response(ztMsgIobuf* iobuf, unsigned char** val, uint16_t* len);

ZT_END_DECLS

#endif
