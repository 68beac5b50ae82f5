// The worker thread: polls for notifications, waits for one message on the daemon mailbox and
// routes it by its category.
#include <errno.h>
#include <string.h>
#include <time.h>

#include "commands/command_dispatch.h"
#include "server/event_routing.h"
#include "server/stop_signals.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

constexpr int32_t kReceiveWaitNs = 500 * 1000 * 1000;
constexpr int32_t kNsPerSecond = 1000 * 1000 * 1000;
constexpr size_t kCategoryByte = 3;

// Waits up to half a second for a message; its length, or -1 when none arrived. One timed receive
// instead of a readiness wait and a receive: a system call less per request. A wait that runs out
// leaves errno as the readiness wait would have left it, since the idle log line depends on it.
ssize_t receiveOne(ZtcontrolCommandServer* server) {
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += kReceiveWaitNs;
    if (deadline.tv_nsec >= kNsPerSecond) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= kNsPerSecond;
    }
    const int before = errno;
    const ssize_t n = mq_timedreceive(server->daemonMqd, reinterpret_cast<char*>(server->rxBuffer), ZT_MSG_BUFFER_SIZE,
                                      nullptr, &deadline);
    if (n < 0 && errno == ETIMEDOUT) errno = before;
    return n;
}

void handleControlRequest(ZtcontrolCommandServer* server, Msg& request, size_t length) {
    MemStream in(server->rxBuffer, (uint16_t)length);
    in >> request;
    request.dump("Msg From Client");
    if (request.getCategory() != ZT_MSG_CATEGORY) {
        request.dump("Invalid expected category");
        ZTLOG(UTIL_LOG_ERROR, "Invalid command category received: %d", request.getCategory());
        return;
    }
    const MsgElement* command = request.findElement(ZT_TAG_COMMAND);
    uint32_t id = 0;
    if (!command || !command->getValue32(id)) {
        ZTLOG(UTIL_LOG_ERROR, "No command specified in message. Skipping");
        return;
    }
    if (id == ZTCONTROL_STOP) {
        server->running = false;
        wakeForStop();
        server->sendResponse(&request, 0, nullptr, 0);
        return;
    }
    // Without the model the commands cannot be served; the requester gets an error instead of no
    // answer at all (the original dropped the request, stop included).
    if (!server->protocolAdapterSet) {
        ZTLOG(UTIL_LOG_ERROR, "protocol adapter not set - answering command %u with an error", (unsigned)id);
        server->sendResponse(&request, ZT_ERR, nullptr, 0);
        return;
    }
    ZTLOG(UTIL_LOG_INFO, "Received message");
    handleCommand(server, &request, id);
}

void routeMessage(ZtcontrolCommandServer* server, Msg& request, size_t length) {
    const ReceivedTlv msg = {server->rxBuffer, length};
    // A message too short for a header is no event; the request parser rejects it.
    const uint8_t category = length > kCategoryByte ? server->rxBuffer[kCategoryByte] : (uint8_t)ZT_MSG_CATEGORY;
    switch (category) {
        case CAT_ZTNET_CMD: handleCsiStateEvent(server, msg); break;
        case CAT_CSI_RESPONSE: handleSubscribeAnswer(msg); break;
        case CAT_POWER_EVENT: handlePowerEvent(server, msg); break;
        case CAT_RTOS_CMD: handlePresetUpdateEvent(server, msg); break;
        default: handleControlRequest(server, request, length); break;
    }
}

}  // namespace

void routeReceivedMessage(ZtcontrolCommandServer* server, Msg& request, size_t length) {
    routeMessage(server, request, length);
}

void workerLoop(ZtcontrolCommandServer* server) {
    memset(&server->lastSnapshot, 0, sizeof(server->lastSnapshot));
    memset(&server->throttledSnapshot, 0, sizeof(server->throttledSnapshot));
    server->running = true;
    server->workerStarted = true;
    memset(&server->lastThrottledPoll, 0, sizeof(server->lastThrottledPoll));
    ZTLOG(UTIL_LOG_DEBUG, "Command handling thread running!");
    server->initCameraState();
    Msg request(ZT_MSG_CATEGORY);

    while (server->running && !server->stopRequested) {
        server->checkNetworkDaemon();
        server->retryProtocolAdapter();
        pollStatusSettingsAndNotify(server);
        request.clear();
        ssize_t length = receiveOne(server);
        if (length < 0) {
            // An idle wait sets no errno: the line reflects the thread's last failed call.
            if (errno == ETIMEDOUT)
                ZTLOG(UTIL_LOG_ERROR, "Timedout receiving on daemon message queue");
            else
                ZTLOG(UTIL_LOG_DEBUG, "no message received on daemon message queue");
            continue;
        }
        ZTLOG(UTIL_LOG_INFO, "received %d bytes at server\n", (int)length);
        routeMessage(server, request, (size_t)length);
    }
    ZTLOG(UTIL_LOG_DEBUG, "Command handling thread exiting!");
}
