/* Mailboxes: named POSIX message queues of ZTMSG_MAX-byte messages. */
#ifndef ZT_MBOX_H
#define ZT_MBOX_H

#include <mqueue.h>
#include <time.h>

#include "ztApi.h"
#include "ztLog.h"
#include "ztTlv.h"

ZT_BEGIN_DECLS

typedef struct {
    mqd_t mqd;           /* open queue, or -1 */
    struct mq_attr attr; /* creation attributes, refreshed before each send */
    const char* name;    /* the caller's pointer, not a copy */
} ztMboxAttr;

/* All return 0 on success and -1 on failure unless noted. */
ZT_API int ztMbox_init(const char* name, int maxmsg, ztMboxAttr* ztattr);
/* Read side, creating the queue if needed; 5 attempts 10 ms apart. */
ZT_API int ztMbox_rxopen_ext(const char* name, int maxmsg, int msgsize, ztMboxAttr* ztattr);
ZT_API int ztMbox_rxopen(const char* name, int maxmsg, ztMboxAttr* ztattr);
/* Exclusive creation (reply mailbox); 6 attempts, 0.1 s .. 0.5 s apart. */
ZT_API int ztMbox_rxopen_shared_ext(const char* name, int maxmsg, int msgsize, ztMboxAttr* ztattr);
ZT_API int ztMbox_rxopen_shared(const char* name, int maxmsg, ztMboxAttr* ztattr);
/* Write side of an existing queue; no creation, no retry. */
ZT_API int ztMbox_txopen(const char* name, ztMboxAttr* ztattr);
/* Makes sure the queue exists; always returns 0. */
ZT_API int ztMbox_create_ext(const char* name, int maxmsg, int msgsize);
ZT_API int ztMbox_create(const char* name, int maxmsg);
/* Returns the mq_close result; the handle's mqd becomes -1. */
ZT_API int ztMbox_close(ztMboxAttr* ztattr);
ZT_API int ztMbox_unlink(const char* name);
/* Sends at priority 0. A length above ZTMSG_MAX or a full queue is a library assertion:
 * the process ends. Returns the mq_send result. */
ZT_API int ztMbox_send(const void* buf, int len, ztMboxAttr* ztattr);
/* Blocking receive; returns the length. Any failure is a library assertion. */
ZT_API int snztMbox_receive(void* buf, int size, ztMboxAttr* ztattr);
/* Waits at most g_timedreceive seconds; returns the length, or -1 (buffer untouched). */
ZT_API int snztMbox_timedreceive(void* buf, int size, ztMboxAttr* ztattr);
/* Waits at most timeout->tv_sec seconds (relative; NULL means 0) on a bare descriptor,
 * then receives; returns the length or -1. Never asserts. prio is ignored. */
ZT_API int zt_mq_timedreceive(mqd_t mqd, char* buf, size_t size, unsigned int* prio,
                              const struct timespec* timeout);

/* Non-fatal send for callers that must survive a full or missing peer (client tools,
 * simulator): waits at most timeout_ms for room, never asserts. Returns 0 or -1 (length
 * outside 0..ZTMSG_MAX, bad handle, time-out or send error; the cause is traced). */
ZT_API int ztMbox_timedsend(const void* buf, int len, ztMboxAttr* ztattr, int timeout_ms);

ZT_END_DECLS

#endif
