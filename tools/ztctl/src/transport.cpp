#include "transport.h"

#include <errno.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "signal_cleanup.h"
#include "zt_msg_classes.h"
#include "ztMbox.h"

namespace ztctl {

namespace {

struct timespec deadlineAfter(double seconds) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    long long ns = (long long)(seconds * 1e9) + t.tv_nsec;
    t.tv_sec += (time_t)(ns / 1000000000LL);
    t.tv_nsec = (long)(ns % 1000000000LL);
    return t;
}

int millisecondsUntil(const struct timespec& deadline) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long long ms = (long long)(deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000;
    return ms < 0 ? 0 : ms > 3600000 ? 3600000 : (int)ms;
}

std::string secondsText(double seconds) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g s", seconds);
    return buf;
}

// The private reply mailbox: created (exclusively) before the request goes out, closed and
// unlinked when the exchange ends, whatever its outcome.
class ReplyMailbox {
public:
    explicit ReplyMailbox(std::string name) : name_(std::move(name)) {}
    ~ReplyMailbox() {
        if (!open_) return;
        ztMbox_close(&attr_);
        ztMbox_unlink(name_.c_str());
        clearMailboxForCleanup();
    }

    bool open() {
        mq_unlink(name_.c_str());  // a leftover of a dead process that had our pid
        registerMailboxForCleanup(name_.c_str());
        open_ = ztMbox_rxopen_shared_ext(name_.c_str(), kReplyMaxMsg, ZTMSG_MAX, &attr_) == 0;
        if (!open_) clearMailboxForCleanup();
        return open_;
    }

    mqd_t descriptor() const { return attr_.mqd; }

private:
    std::string name_;
    ztMboxAttr attr_{};
    bool open_ = false;
};

}  // namespace

size_t encodeRequest(const Request& request, const std::string& replyMailbox, uint8_t* buf, size_t capacity) {
    if (request.argument.size() > ZTMSG_MAX || replyMailbox.size() + 1 > ZTMSG_MAX) return 0;
    uint8_t id[4];
    for (int i = 0; i < 4; i++) id[i] = (uint8_t)(request.id >> (8 * i));
    Msg msg(ZT_MSG_CATEGORY);
    MsgElement command(ZT_TAG_COMMAND, sizeof id, id);
    MsgElement argument(ZT_TAG_ARGUMENT, (uint16_t)request.argument.size(), request.argument.data());
    MsgElement reply(ZT_TAG_REPLY_MBOX, (uint16_t)(replyMailbox.size() + 1), replyMailbox.c_str());
    msg.addElement(&command);
    if (request.hasArgument) msg.addElement(&argument);
    msg.addElement(&reply);
    MemStream stream(buf, capacity);
    stream << msg;
    return stream.failed() ? 0 : stream.getLength();
}

bool decodeResponse(const uint8_t* buf, size_t length, Response& response, std::string& error) {
    Msg msg(ZT_MSG_CATEGORY);
    MemStream stream(const_cast<uint8_t*>(buf), length);  // read only
    stream >> msg;
    if (stream.failed()) {
        error = "the bytes do not parse as a message";
        return false;
    }
    if (msg.getCategory() != ZT_MSG_CATEGORY || msg.getMsgType() != ZT_MSG_TYPE_RESPONSE) {
        error = "category " + std::to_string(msg.getCategory()) + " type " + std::to_string(msg.getMsgType()) +
                ", expected a response (category 20, type 21)";
        return false;
    }
    const MsgElement* result = msg.findElement(ZT_TAG_RESULT);
    if (!result || result->getLength() != sizeof(int32_t)) {
        error = "no 4-byte result element";
        return false;
    }
    memcpy(&response.result, result->getData(), sizeof(int32_t));
    const MsgElement* payload = msg.findElement(ZT_TAG_PAYLOAD);
    response.hasPayload = payload && payload->getLength() > 0;
    if (response.hasPayload)
        response.payload.assign(payload->getData(), payload->getData() + payload->getLength());
    else
        response.payload.clear();
    return true;
}

std::string newReplyMailboxName() {
    static std::atomic<unsigned> counter{0};
    return "/ztctl_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

Outcome exchange(const std::string& mailbox, double timeoutSeconds, const Request& request, Response& response,
                 std::string& detail) {
    const struct timespec deadline = deadlineAfter(timeoutSeconds);
    const std::string replyName = newReplyMailboxName();
    uint8_t buf[ZTMSG_MAX];
    size_t length = encodeRequest(request, replyName, buf, sizeof buf);
    if (length == 0) {
        detail = "the request does not fit in one message of " + std::to_string(ZTMSG_MAX) + " bytes";
        return Outcome::LocalError;
    }
    ztMboxAttr daemon;
    if (ztMbox_txopen(mailbox.c_str(), &daemon) != 0) {
        detail = "cannot open mailbox " + mailbox + " (" + strerror(errno) + "): is ztControlD running?";
        return Outcome::NoDaemon;
    }
    ReplyMailbox reply(replyName);
    if (!reply.open()) {
        detail = "cannot create the reply mailbox " + replyName + " (" + strerror(errno) + ")";
        ztMbox_close(&daemon);
        return Outcome::LocalError;
    }
    int sent = ztMbox_timedsend(buf, (int)length, &daemon, millisecondsUntil(deadline));
    ztMbox_close(&daemon);
    if (sent != 0) {
        detail = "could not send to " + mailbox + " within " + secondsText(timeoutSeconds) +
                 " (its mailbox stayed full)";
        return Outcome::SendFailed;
    }
    uint8_t answer[ZTMSG_MAX];
    ssize_t n;
    do {
        n = mq_timedreceive(reply.descriptor(), (char*)answer, sizeof answer, nullptr, &deadline);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        detail = errno == ETIMEDOUT ? "no response within " + secondsText(timeoutSeconds)
                                    : std::string("receive failed: ") + strerror(errno);
        return Outcome::NoResponse;
    }
    std::string why;
    if (!decodeResponse(answer, (size_t)n, response, why)) {
        detail = "malformed response of " + std::to_string(n) + " bytes: " + why;
        return Outcome::Malformed;
    }
    return Outcome::Answered;
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
