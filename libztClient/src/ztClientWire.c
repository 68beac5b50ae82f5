/* The byte format of requests and answers on the daemon's mailbox (docs/message-format.md):
 * a 4-byte header (total length big-endian, type, category) and elements of tag, big-endian
 * length and data. */
#include <string.h>

#include "ztClient.h"
#include "ztClientPriv.h"

enum {
    WIRE_HEADER = 4,
    WIRE_ELEMENT_HEAD = 3,
    TAG_COMMAND = 65,
    TAG_ARGUMENT = 66,
    TAG_REPLY_MBOX = 68,
    TAG_PAYLOAD = 69,
    TAG_RESULT = 236,
    WIRE_CATEGORY = 20,
    WIRE_TYPE_REQUEST = 0
};

static void put16(uint8_t* at, size_t v)
{
    at[0] = (uint8_t)(v >> 8);
    at[1] = (uint8_t)v;
}

static size_t putElement(uint8_t* at, uint8_t tag, const void* data, size_t length)
{
    at[0] = tag;
    put16(at + 1, length);
    if (length) memcpy(at + WIRE_ELEMENT_HEAD, data, length);
    return WIRE_ELEMENT_HEAD + length;
}

int ztClient_encodeRequest(uint32_t command, const void* arg, size_t argLen, const char* replyMailbox,
                           uint8_t* buf, size_t capacity)
{
    if (replyMailbox == NULL || buf == NULL || (arg == NULL && argLen != 0)) return ZT_ERR_INVALID_PARAM;
    const size_t nameLen = strlen(replyMailbox) + 1;
    const size_t limit = capacity < ZTCLIENT_MESSAGE_MAX ? capacity : ZTCLIENT_MESSAGE_MAX;
    /* Each part is checked on its own first, so that the sum cannot wrap. */
    if (argLen > limit || nameLen > limit) return ZTCLIENT_ERR_ARG_TOO_LARGE;
    const size_t total = WIRE_HEADER + WIRE_ELEMENT_HEAD + sizeof command + (arg ? WIRE_ELEMENT_HEAD + argLen : 0) +
                         WIRE_ELEMENT_HEAD + nameLen;
    if (total > limit) return ZTCLIENT_ERR_ARG_TOO_LARGE;
    put16(buf, total);
    buf[2] = WIRE_TYPE_REQUEST;
    buf[3] = WIRE_CATEGORY;
    size_t at = WIRE_HEADER;
    at += putElement(buf + at, TAG_COMMAND, &command, sizeof command); /* the daemon's byte order */
    if (arg) at += putElement(buf + at, TAG_ARGUMENT, arg, argLen);
    putElement(buf + at, TAG_REPLY_MBOX, replyMailbox, nameLen);
    return (int)total;
}

int ztWire_decode(const uint8_t* buf, size_t length, uint8_t type, int32_t* result, const uint8_t** payload,
                  size_t* payloadLen)
{
    if (buf == NULL || length < WIRE_HEADER || result == NULL || payload == NULL || payloadLen == NULL)
        return ZTCLIENT_ERR_MALFORMED;
    const size_t total = (size_t)buf[0] << 8 | buf[1];
    if (total < WIRE_HEADER || total > length || buf[2] != type || buf[3] != WIRE_CATEGORY)
        return ZTCLIENT_ERR_MALFORMED;
    int haveResult = 0, havePayload = 0;
    *payload = NULL;
    *payloadLen = 0;
    for (size_t at = WIRE_HEADER; at < total;) {
        if (total - at < WIRE_ELEMENT_HEAD) return ZTCLIENT_ERR_MALFORMED;
        const uint8_t tag = buf[at];
        const size_t len = (size_t)buf[at + 1] << 8 | buf[at + 2];
        const uint8_t* data = buf + at + WIRE_ELEMENT_HEAD;
        if (len > total - at - WIRE_ELEMENT_HEAD) return ZTCLIENT_ERR_MALFORMED;
        /* The first element of a tag counts, as the daemon's own reader has it. */
        if (tag == TAG_RESULT && !haveResult) {
            if (len != sizeof *result) return ZTCLIENT_ERR_MALFORMED;
            memcpy(result, data, sizeof *result);
            haveResult = 1;
        } else if (tag == TAG_PAYLOAD && !havePayload) {
            havePayload = 1;
            *payload = len ? data : NULL;
            *payloadLen = len;
        }
        at += WIRE_ELEMENT_HEAD + len;
    }
    return haveResult ? 0 : ZTCLIENT_ERR_MALFORMED;
}

int ztClient_decodeAnswer(const uint8_t* buf, size_t length, int32_t* result, const uint8_t** payload,
                          size_t* payloadLen)
{
    return ztWire_decode(buf, length, ZTWIRE_TYPE_RESPONSE, result, payload, payloadLen);
}
