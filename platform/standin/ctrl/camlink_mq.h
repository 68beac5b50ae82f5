// Mailbox operations of the camera-link client, each bounded by a deadline so that a dead or
// full peer never holds the caller longer than its time-out.
#ifndef CAMLINK_MQ_H
#define CAMLINK_MQ_H

#include <mqueue.h>
#include <stddef.h>
#include <stdint.h>

// Monotonic milliseconds, the time base of the deadlines below.
int64_t camlinkNowMs();

// 0 when the message was queued before the deadline, else ZT_ERR_MQ_FAIL (logged).
int camlinkTimedSend(mqd_t mqd, const uint8_t* message, size_t length, int64_t deadlineMs);

// 1 when a message was received into buffer (its size in *length), 0 when the deadline passed
// first, ZT_ERR_MQ_FAIL on a mailbox error (logged). A deadline in the past only polls.
int camlinkTimedReceive(mqd_t mqd, uint8_t* buffer, size_t capacity, int64_t deadlineMs, size_t* length);

#endif
