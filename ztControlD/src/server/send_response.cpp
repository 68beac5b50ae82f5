// Responses to control requests, sent to the mailbox that the request names in element 68.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>

#include "server/bounded_send.h"
#include "server/ztcontrol_if_server.h"
#include "util/log_text.h"
#include "ztLog.h"
#include "zt_msg_classes.h"

namespace {

class ResponseMsg : public Msg {
public:
    ResponseMsg() : Msg(ZT_MSG_CATEGORY) { setMsgType(ZT_MSG_TYPE_RESPONSE); }
    ~ResponseMsg() override = default;
};

// Built once, before main; only the worker thread sets their data.
MsgElement s_resultElement(ZT_TAG_RESULT);
MsgElement s_payloadElement(ZT_TAG_PAYLOAD);
MsgElement s_endElement(ZT_TAG_END, 0, nullptr);

// Copies the requester's mailbox name out of element 68; false when there is none.
bool requesterMailbox(const Msg* request, char* name, size_t size) {
    const MsgElement* src = request->findElement(ZT_TAG_REPLY_MBOX);
    if (!src || !src->getData()) return false;
    size_t n = strnlen(reinterpret_cast<const char*>(src->getData()), src->getLength());
    if (n == 0 || n >= size) return false;
    memcpy(name, src->getData(), n);
    name[n] = '\0';
    return true;
}

}  // namespace

bool ZtcontrolCommandServer::sendResponse(const Msg* request, int32_t result, const uint8_t* payload,
                                          uint16_t length) {
    ZTLOG(UTIL_LOG_DEBUG, "Sending response with err:%d", result);
    ResponseMsg response;
    s_resultElement.setData(&result, sizeof(result));
    response.addElement(&s_resultElement);
    if (payload && length) {
        s_payloadElement.setData(payload, length);
        response.addElement(&s_payloadElement);
    }
    response.addElement(&s_endElement);

    MemStream out(txBuffer, ZT_MSG_BUFFER_SIZE);
    out << response;
    if (out.failed()) {
        ZTLOG(UTIL_LOG_ERROR, "Response of %u payload bytes does not fit in %d bytes", length, ZT_MSG_BUFFER_SIZE);
        return false;
    }

    char name[NAME_MAX + 1];
    if (!requesterMailbox(request, name, sizeof(name))) {
        ZTLOG(UTIL_LOG_ERROR, "No requester SRC in the message received.");
        return false;
    }
    // An answer to the daemon's own mailboxes (or the network daemon's) would fill a queue that
    // only the worker reads, or that expects no answers: refused, so a request cannot stall us.
    if (isReservedMailbox(name)) {
        ZTLOG(UTIL_LOG_ERROR, "Refusing to answer on reserved mailbox '%s'", LogText(name).c_str());
        return false;
    }
    mqd_t mqd = mq_open(name, O_WRONLY);
    if (mqd == (mqd_t)-1) {
        ZTLOG(UTIL_LOG_ERROR, "mq_open() failed for '%s': %s\n", LogText(name).c_str(), strerror(errno));
        return false;
    }
    // A requester that stops reading its mailbox must not hold the worker: the send waits a short
    // bound for room instead of blocking, and the answer is dropped with the log line below.
    bool sent = boundedMqSend(mqd, out.getBuffer(), out.getLength(), RESPONSE_SEND_BOUND_MS);
    if (!sent) ZTLOG(UTIL_LOG_ERROR, "mq_send() failed for '%s': %s\n", LogText(name).c_str(), strerror(errno));
    mq_close(mqd);
    return sent;
}
