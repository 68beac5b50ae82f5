/* Shared inside libztClient. */
#ifndef ZT_CLIENT_PRIV_H
#define ZT_CLIENT_PRIV_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "ztClient.h"
#include "ztTlv.h"

/* One mailbox message, the daemon's message size. */
#define ZTCLIENT_MESSAGE_MAX ZTMSG_MAX

enum { ZTWIRE_TYPE_RESPONSE = 21, ZTWIRE_TYPE_EVENT = 22 };

/* A message of the given type: 0 with *result and the first payload element (NULL when none),
 * or ZTCLIENT_ERR_MALFORMED. */
int ztWire_decode(const uint8_t* buf, size_t length, uint8_t type, int32_t* result, const uint8_t** payload,
                  size_t* payloadLen);

/* The absolute CLOCK_REALTIME time ms milliseconds from now, as the timed queue calls take it. */
struct timespec ztClient_deadlineAfter(int ms);

/* Whether a splitter stopped inside a frame. */
int ztFrame_midFrame(const ztFrameSplit* split);

/* The merged state: members of the top-level objects by group and key, raw JSON values. */
enum { ZTSTATE_ITEMS = 512, ZTSTATE_GROUP = 16, ZTSTATE_KEY = 32, ZTSTATE_VALUE = 128 };
typedef struct {
    char group[ZTSTATE_GROUP];
    char key[ZTSTATE_KEY];
    char value[ZTSTATE_VALUE];
} ztStateItem;
typedef struct {
    size_t count;
    ztStateItem items[ZTSTATE_ITEMS];
} ztState;

/* Merges one notification text; ZTCLIENT_ERR_MALFORMED when it is not a JSON object (the members
 * before the fault stay merged). */
int ztState_merge(ztState* state, const char* text, size_t length);
const char* ztState_value(const ztState* state, const char* group, const char* key);

#endif
