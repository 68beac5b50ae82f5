// Sends that never hold the worker thread beyond a stated bound, whatever the peer does.
#ifndef BOUNDED_SEND_H
#define BOUNDED_SEND_H

#include <mqueue.h>
#include <stddef.h>
#include <stdint.h>

// How long an answer to a requester may wait for room in the requester's mailbox.
constexpr int RESPONSE_SEND_BOUND_MS = 200;
// What one status poll may spend on all its notification sends together, however many peers stall.
constexpr int NOTIFICATION_FANOUT_BUDGET_MS = 500;

// Milliseconds on the monotonic clock.
int64_t monotonicMs();

// mq_send that waits at most timeoutMs (0: not at all) for room in a full queue. False with errno
// set (ETIMEDOUT when the queue stayed full).
bool boundedMqSend(mqd_t mqd, const void* data, size_t length, int timeoutMs);

// True when name designates one of the daemon's own mailboxes or the network daemon's (a reply
// sent there would fill a queue that only the daemon itself, or nobody expecting answers, reads).
bool isReservedMailbox(const char* name);

#endif
