#include "transport.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "signal_cleanup.h"
#include "ztTlv.h"

namespace ztctl {

namespace {

constexpr char kReplyPrefix[] = "/ztctl";
constexpr double kMaxTimeoutSeconds = 3600;

std::string secondsText(double seconds) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g s", seconds);
    return buf;
}

}  // namespace

int timeoutMilliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    return (int)((seconds < kMaxTimeoutSeconds ? seconds : kMaxTimeoutSeconds) * 1000);
}

Outcome callFailure(int code, const std::string& mailbox, double timeoutSeconds, std::string& detail) {
    switch (code) {
        case ZTCLIENT_ERR_NO_DAEMON:
            detail = "cannot open mailbox " + mailbox + " (" + strerror(ENOENT) + "): is ztControlD running?";
            return Outcome::NoDaemon;
        case ZTCLIENT_ERR_DAEMON_BUSY:
            detail = "could not send to " + mailbox + " within " + secondsText(timeoutSeconds) +
                     " (its mailbox stayed full)";
            return Outcome::SendFailed;
        case ZTCLIENT_ERR_TIMEOUT:
            detail = "no response within " + secondsText(timeoutSeconds);
            return Outcome::NoResponse;
        case ZTCLIENT_ERR_MALFORMED:
            detail = "malformed response: not a response message (category 20, type 21, a 4-byte result)";
            return Outcome::Malformed;
        case ZTCLIENT_ERR_ARG_TOO_LARGE:
            detail = "the request does not fit in one message of " + std::to_string(ZTMSG_MAX) + " bytes";
            return Outcome::LocalError;
        default:
            detail = std::string("mailbox failure (") + ztClient_errorName(code) + ")";
            return Outcome::LocalError;
    }
}

Session::Session(const std::string& mailbox) : mailbox_(mailbox) {
    openError_ = ztClient_open(&client_, mailbox.c_str(), kReplyPrefix);
    if (openError_ == 0) registerMailboxForCleanup(ztClient_replyMailbox(client_));
}

Session::~Session() {
    clearMailboxForCleanup();
    ztClient_close(client_);
}

std::string Session::openFailure() const {
    return std::string("cannot create the reply mailbox (") + ztClient_errorName(openError_) + ")";
}

Outcome Session::exchange(double timeoutSeconds, const Request& request, Response& response, std::string& detail) {
    if (!client_) {
        detail = openFailure();
        return Outcome::LocalError;
    }
    static const uint8_t kNoBytes = 0;  // an empty argument is still an element
    const uint8_t* arg = request.argument.empty() ? &kNoBytes : request.argument.data();
    uint8_t payload[ZTMSG_MAX];
    size_t length = 0;
    const int r = ztClient_call(client_, request.id, request.hasArgument ? arg : nullptr, request.argument.size(),
                                timeoutMilliseconds(timeoutSeconds), &response.result, payload, sizeof payload,
                                &length);
    registerMailboxForCleanup(ztClient_replyMailbox(client_));  // a new one after a call without answer
    if (r != 0) return callFailure(r, mailbox_, timeoutSeconds, detail);
    response.hasPayload = length > 0;
    response.payload.assign(payload, payload + length);
    return Outcome::Answered;
}

Outcome exchange(const std::string& mailbox, double timeoutSeconds, const Request& request, Response& response,
                 std::string& detail) {
    Session session(mailbox);
    return session.exchange(timeoutSeconds, request, response, detail);
}

const char* outcomeCode(Outcome outcome) {
    switch (outcome) {
        case Outcome::Answered: return "none";
        case Outcome::NoDaemon: return "no_daemon";
        case Outcome::SendFailed: return "send_failed";
        case Outcome::NoResponse: return "no_response";
        case Outcome::Malformed: return "malformed_response";
        case Outcome::LocalError: return "local_error";
    }
    return "unknown";
}

}  // namespace ztctl
