// One request/response exchange with the daemon through the client library, on a private reply
// mailbox that exists only for the exchange; outcomes with the texts ztctl prints.
#ifndef ZTCTL_TRANSPORT_H
#define ZTCTL_TRANSPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "ztClient.h"

namespace ztctl {

constexpr const char* kDaemonMailbox = ZTCLIENT_DAEMON_MAILBOX;

struct Request {
    uint32_t id = 0;
    bool hasArgument = false;
    std::vector<uint8_t> argument;
};

struct Response {
    int32_t result = 0;
    bool hasPayload = false;
    std::vector<uint8_t> payload;
};

enum class Outcome {
    Answered,    // a well-formed response arrived
    NoDaemon,    // the daemon's mailbox does not exist
    SendFailed,  // the mailbox stayed full (or the send failed) until the time-out
    NoResponse,  // nothing arrived on the reply mailbox in time
    Malformed,   // something arrived that is not a response
    LocalError   // the request does not fit a message, or the reply mailbox cannot be made
};

// Short code of an outcome for JSON ("no_response"...).
const char* outcomeCode(Outcome outcome);

// Sends the request to `mailbox` and waits for the answer; the whole exchange (waiting for room
// in the daemon's mailbox, then for the answer) takes at most timeoutSeconds. `detail` explains
// every outcome other than Answered.
Outcome exchange(const std::string& mailbox, double timeoutSeconds, const Request& request, Response& response,
                 std::string& detail);

}  // namespace ztctl

#endif
