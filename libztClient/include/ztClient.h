/* libztClient: control requests to ztControlD from any camera process.
 *
 * A requester owns a private reply mailbox ("<prefix>_<pid>_<n>", created with the attributes of
 * the daemon's mailboxes, removed on close). A call sends one request (command id, optional
 * argument bytes, the reply mailbox name) to the daemon's mailbox and waits for its answer: the
 * daemon's result and the payload, copied into the caller's buffer.
 *
 * Guarantees:
 *   - the time-out bounds the whole call: waiting for room in a full daemon mailbox and waiting
 *     for the answer together;
 *   - an answer that arrives after its call timed out is never returned for a later call (the
 *     requester moves to a fresh reply mailbox after a call without an answer);
 *   - the daemon's mailbox is opened for each call, so a daemon restart between two calls is
 *     survived;
 *   - a call allocates nothing and makes four system calls (open the daemon's mailbox, send,
 *     receive, close);
 *   - nothing aborts the process; every function returns 0 or a negative ztErrno value.
 *
 * Thread safety: a requester is used by one thread at a time (it has no lock). Give each thread
 * its own requester; different requesters are independent.
 */
#ifndef ZT_CLIENT_H
#define ZT_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "ztApi.h"
#include "ztErrno.h"

ZT_BEGIN_DECLS

#define ZTCLIENT_DAEMON_MAILBOX "/to_ztCtlD"
#define ZTCLIENT_DEFAULT_PREFIX "/ztclient"

/* Errors of a call, next to the ztErrno codes of the rest of the system. */
enum {
    ZTCLIENT_ERR_TIMEOUT = -201,          /* no answer within the time-out */
    ZTCLIENT_ERR_NO_DAEMON = -202,        /* the daemon's mailbox does not exist: not running */
    ZTCLIENT_ERR_DAEMON_BUSY = -203,      /* the daemon's mailbox stayed full until the time-out */
    ZTCLIENT_ERR_ARG_TOO_LARGE = -204,    /* the request does not fit in one mailbox message */
    ZTCLIENT_ERR_ANSWER_TOO_LARGE = -205, /* the payload does not fit the caller's buffer */
    ZTCLIENT_ERR_MALFORMED = -206,        /* something other than an answer (or a frame) arrived */
    ZTCLIENT_ERR_CLOSED = -207            /* the daemon closed the notification connection */
};

typedef struct ztClient ztClient;

/* Opens a requester for the daemon's mailbox (NULL: ZTCLIENT_DAEMON_MAILBOX) with reply mailbox
 * names starting with prefix (NULL: ZTCLIENT_DEFAULT_PREFIX; at most 32 characters, starting
 * with '/'). 0 and *client set, ZT_ERR_INVALID_PARAM, ZT_ERR_OUTOFMEM or ZT_ERR_MQ_FAIL (the
 * reply mailbox cannot be created). */
ZT_API int ztClient_open(ztClient** client, const char* daemonMailbox, const char* prefix);

/* Sends command with argLen bytes of arg (arg NULL: no argument at all) and waits at most
 * timeoutMs milliseconds for the answer. Returns 0 when the daemon answered: *result is its
 * result, the payload is in answer and its length in *answerLen (0 without a payload). On
 * ZTCLIENT_ERR_ANSWER_TOO_LARGE, *result is set and *answerLen is the payload's length, nothing
 * is copied. answer may be NULL when answerCapacity is 0; answerLen may be NULL. */
ZT_API int ztClient_call(ztClient* client, uint32_t command, const void* arg, size_t argLen, int timeoutMs,
                         int32_t* result, void* answer, size_t answerCapacity, size_t* answerLen);

/* The current reply mailbox name (changes after a call without an answer). */
ZT_API const char* ztClient_replyMailbox(const ztClient* client);

/* Closes and removes the reply mailbox and frees the requester. NULL is allowed. */
ZT_API void ztClient_close(ztClient* client);

/* Name of a library error code; other codes as ztErrno2Str. Static, never NULL. */
ZT_API const char* ztClient_errorName(int code);

/* Serializes a request into buf (capacity bytes); the length, or ZTCLIENT_ERR_ARG_TOO_LARGE. */
ZT_API int ztClient_encodeRequest(uint32_t command, const void* arg, size_t argLen, const char* replyMailbox,
                                  uint8_t* buf, size_t capacity);

/* Parses an answer: 0 with *result, *payload (pointing into buf, NULL when none) and
 * *payloadLen set, or ZTCLIENT_ERR_MALFORMED when the bytes are not an answer. */
ZT_API int ztClient_decodeAnswer(const uint8_t* buf, size_t length, int32_t* result, const uint8_t** payload,
                                 size_t* payloadLen);

/* Notifications: the daemon's status and settings as JSON, the full state once, then what
 * changed. A reader merges every notification into its current state, so that the value of any
 * item is at hand. Same thread rule as a requester; the requester given to a reader is used only
 * inside the reader's calls. */
typedef struct ztNotify ztNotify;

#define ZTNOTIFY_PORT 8081
#define ZTNOTIFY_TEXT_MAX 65536 /* longest notification kept; a longer frame is malformed */

/* A reader on the daemon's TCP port (host NULL: "127.0.0.1", port 0: ZTNOTIFY_PORT). It turns
 * notifications on through the requester and turns them on again while no frame has come, as the
 * daemon serves only connections it has already accepted (requester NULL: nothing is turned
 * on). The connection and each request are bounded by timeoutMs. */
ZT_API int ztNotify_connect(ztNotify** reader, ztClient* requester, const char* host, uint16_t port,
                            int timeoutMs);

/* Turns notifications on through the requester for a reader of the TCP port, and again from
 * ztNotify_next every 2 s while no notification has come (at most three times in all). The
 * daemon's result when it answered, else the call's error. */
ZT_API int ztNotify_subscribe(ztNotify* reader, ztClient* requester, int timeoutMs);

/* A reader on a private queue registered with the daemon (command 0); the daemon splits a long
 * notification into several, which the merge puts together again. */
ZT_API int ztNotify_openQueue(ztNotify** reader, ztClient* requester, int timeoutMs);

/* Waits at most timeoutMs for the next notification and merges it. 0 with *text (valid until
 * the next call, NUL-terminated) and *length set; ZTCLIENT_ERR_TIMEOUT, ZTCLIENT_ERR_CLOSED, or
 * ZTCLIENT_ERR_MALFORMED (a broken frame: the reader is of no further use). text and length may
 * be NULL. */
ZT_API int ztNotify_next(ztNotify* reader, int timeoutMs, const char** text, size_t* length);

/* The current value of a member of the merged state as JSON text ("status", "31" -> "1"), or
 * NULL when it has not been seen. Keys up to 31 and values up to 127 characters are kept. */
ZT_API const char* ztNotify_value(const ztNotify* reader, const char* group, const char* key);

/* Ends the connection (or unregisters and removes the queue) and frees the reader. */
ZT_API void ztNotify_close(ztNotify* reader);

/* A reader on a socket the caller has connected (it is closed by ztNotify_close); nothing is
 * turned on. For tools and tests that manage the connection themselves. */
ZT_API int ztNotify_attach(ztNotify** reader, int socketFd);

/* 1 when the stream stopped inside a frame (after ZTCLIENT_ERR_CLOSED: a cut, not a clean end). */
ZT_API int ztNotify_midFrame(const ztNotify* reader);

/* The frame splitter alone, for programs that read the notification stream themselves. A frame
 * is "LENGTH:<n>\n\n" and n - 1 bytes of text (n counts the sender's NUL, which does not
 * travel). Start from a zeroed ztFrameSplit; feed bytes as they arrive, split anywhere. Each call
 * consumes bytes until a frame completes (*complete = 1, its text in body, *bodyLen bytes; body
 * holds ZTNOTIFY_TEXT_MAX bytes) or the data ends, and returns the bytes consumed, or -1 for a
 * malformed header or a length of 0 or above ZTNOTIFY_TEXT_MAX. */
typedef struct {
    int state;
    size_t matched; /* characters of the prefix, or digits, read so far */
    size_t length;  /* the header's number */
    size_t have;    /* body bytes collected */
} ztFrameSplit;

ZT_API long ztNotify_splitFrames(ztFrameSplit* split, char* body, const char* data, size_t length, int* complete,
                                 size_t* bodyLen);

ZT_END_DECLS

#endif
