// One request/response exchange with the daemon over mailboxes: the request is a Msg of category
// 20 (command id, optional argument, reply mailbox name), the response a Msg of type 21 (result,
// optional payload) on a private reply mailbox that exists only for the exchange.
#ifndef ZTCTL_TRANSPORT_H
#define ZTCTL_TRANSPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace ztctl {

constexpr const char* kDaemonMailbox = "/to_ztCtlD";
constexpr int kReplyMaxMsg = 2;

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

// Serializes a request into buf (capacity bytes); returns the length, or 0 when it does not fit.
size_t encodeRequest(const Request& request, const std::string& replyMailbox, uint8_t* buf, size_t capacity);
// Parses response bytes. False with the reason in `error` when they are not a well-formed
// response (not parseable, wrong category or type, no 4-byte result element).
bool decodeResponse(const uint8_t* buf, size_t length, Response& response, std::string& error);

// A unique reply mailbox name for this process ("/ztctl_<pid>_<n>").
std::string newReplyMailboxName();

// Short code of an outcome for JSON ("no_response"...).
const char* outcomeCode(Outcome outcome);

// Sends the request to `mailbox` and waits for the answer; the whole exchange (waiting for room
// in the daemon's mailbox, then for the answer) takes at most timeoutSeconds. `detail` explains
// every outcome other than Answered.
Outcome exchange(const std::string& mailbox, double timeoutSeconds, const Request& request, Response& response,
                 std::string& detail);

}  // namespace ztctl

#endif
