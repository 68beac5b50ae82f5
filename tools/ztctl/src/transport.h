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

// A requester of the library for the daemon's mailbox `mailbox`, whose reply mailbox is removed
// when ztctl is interrupted.
class Session {
public:
    explicit Session(const std::string& mailbox);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Sends the request and waits for the answer; the whole exchange (waiting for room in the
    // daemon's mailbox, then for the answer) takes at most timeoutSeconds. `detail` explains every
    // outcome other than Answered.
    Outcome exchange(double timeoutSeconds, const Request& request, Response& response, std::string& detail);
    // Null when the reply mailbox could not be made; openFailure() then says why.
    ztClient* client() const { return client_; }
    std::string openFailure() const;

private:
    std::string mailbox_;
    ztClient* client_ = nullptr;
    int openError_ = 0;
};

// One exchange on a session of its own.
Outcome exchange(const std::string& mailbox, double timeoutSeconds, const Request& request, Response& response,
                 std::string& detail);
// The outcome and its explanation for a library error of a call.
Outcome callFailure(int code, const std::string& mailbox, double timeoutSeconds, std::string& detail);
// Milliseconds of a time-out in seconds, within 0 .. 1 hour.
int timeoutMilliseconds(double seconds);

}  // namespace ztctl

#endif
