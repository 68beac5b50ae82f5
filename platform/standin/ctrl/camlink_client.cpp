// The one exchange of the camera link. All state here (request, argument and reply buffers,
// the context's sequence number and descriptors) is used under g_exchangeMutex, because the
// daemon's worker thread and its preset-edit timer thread call at the same time.
#include "camlink_client.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "camlink_mq.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

constexpr size_t kSequenceSize = 4;
constexpr size_t kReplyHeadSize = 5;  // result i32, NAK reason i8

std::mutex g_exchangeMutex;
std::atomic<ztc_msg_q_context_t*> g_attached{nullptr};
uint8_t g_request[ZTMSG_MAX];
uint8_t g_argument[ZTMSG_MAX];
uint8_t g_reply[ZTMSG_MAX];
// Set when an exchange ended without its reply: only then can a late one wait in the mailbox.
bool g_replyOverdue = false;

struct MboxName {
    char text[ZTC_MBOX_NAME_MAX + 1];
};

// The context's name field, or the fallback when it is empty or not terminated.
MboxName nameOrDefault(const char (&field)[ZTC_MBOX_NAME_MAX], const char* fallback)
{
    MboxName name;
    const size_t length = strnlen(field, ZTC_MBOX_NAME_MAX);
    const char* source = length > 0 && length < ZTC_MBOX_NAME_MAX ? field : fallback;
    strncpy(name.text, source, ZTC_MBOX_NAME_MAX);
    name.text[ZTC_MBOX_NAME_MAX] = '\0';
    return name;
}

uint32_t readBigEndian32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Value of the first element of the type, when it lies wholly inside the message.
bool elementValue(const uint8_t* msg, size_t length, int type, const uint8_t** value, uint16_t* valueLength)
{
    const uint8_t* e = tlv_find(msg, type);
    if (e == nullptr)
        return false;
    const size_t offset = static_cast<size_t>(e - msg);
    if (offset + 4 > length)
        return false;
    const uint16_t n = static_cast<uint16_t>((e[1] << 8) | e[2]);
    if (offset + 4 + n > length)
        return false;
    *value = e + 4;
    *valueLength = n;
    return true;
}

// Builds the request in g_request; its length, or 0 when it does not fit a message.
int buildRequest(const CamlinkRequest& request, uint32_t sequence, const MboxName& src, const MboxName& dst)
{
    const uint16_t argsLength = request.args ? request.args->size() : 0;
    for (size_t i = 0; i < kSequenceSize; ++i)
        g_argument[i] = static_cast<uint8_t>(sequence >> (8 * (kSequenceSize - 1 - i)));
    if (argsLength)
        memcpy(g_argument + kSequenceSize, request.args->data(), argsLength);

    int length = sntlv_msg_init(g_request, ZTMSG_MAX, CAMLINK_CAT_REQUEST);
    const int added[] = {
        sntlv_add_bin(g_request, ZTMSG_MAX, TLV_CMD, 2, request.op),
        sntlv_add_bin(g_request, ZTMSG_MAX, TLV_CMDARG, static_cast<int>(kSequenceSize + argsLength), g_argument),
        sntlv_add_bin(g_request, ZTMSG_MAX, TLV_SRC, static_cast<int>(strlen(src.text)), src.text),
        sntlv_add_bin(g_request, ZTMSG_MAX, TLV_DST, static_cast<int>(strlen(dst.text)), dst.text),
        sntlv_add_dat(g_request, ZTMSG_MAX, TLV_END, 0, 0),
    };
    for (int size : added) {
        if (size == 0)
            return 0;
        length += size;
    }
    return length;
}

struct Reply {
    int32_t result;
    int8_t nakReason;
    const uint8_t* answer;
    uint16_t answerLength;
};

enum class ReplyKind { Ours, Other };

// Decides whether the message in g_reply is the reply to this request; logs anything else.
ReplyKind examineReply(size_t length, const char* op, uint32_t sequence, Reply* reply)
{
    if (length < 4 || static_cast<size_t>(sntlv_msg_len(g_reply)) != length || tlv_validate(g_reply) != 0 ||
        g_reply[3] != CAMLINK_CAT_REPLY) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: discarding a malformed reply of %zu bytes", length);
        return ReplyKind::Other;
    }
    const uint8_t* code = nullptr;
    const uint8_t* arg = nullptr;
    uint16_t codeLength = 0;
    uint16_t argLength = 0;
    if (!elementValue(g_reply, length, TLV_CMD, &code, &codeLength) || codeLength != 2 ||
        !elementValue(g_reply, length, TLV_CMDARG, &arg, &argLength) || argLength < kSequenceSize) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: discarding a reply without code or sequence number");
        return ReplyKind::Other;
    }
    const uint32_t got = readBigEndian32(arg);
    if (got != sequence) {
        // Older requests timed out; their late replies are dropped here so they never pile up.
        const bool older = static_cast<int32_t>(sequence - got) > 0;
        ZTLOG(older ? UTIL_LOG_WARN : UTIL_LOG_ERROR, "camlink: discarding %s reply %u to %.2s (waiting for %u)",
              older ? "a late" : "an unexpected", got, reinterpret_cast<const char*>(code), sequence);
        return ReplyKind::Other;
    }
    if (memcmp(code, op, 2) != 0) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: discarding reply %u with code %.2s to a %.2s request", got,
              reinterpret_cast<const char*>(code), op);
        return ReplyKind::Other;
    }
    const uint8_t* rsp = nullptr;
    uint16_t rspLength = 0;
    if (!elementValue(g_reply, length, TLV_RSPARG, &rsp, &rspLength) || rspLength < kReplyHeadSize) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: discarding reply %u to %.2s without a result", got, op);
        return ReplyKind::Other;
    }
    reply->result = static_cast<int32_t>(readBigEndian32(rsp));
    reply->nakReason = static_cast<int8_t>(rsp[4]);
    reply->answer = rsp + kReplyHeadSize;
    reply->answerLength = static_cast<uint16_t>(rspLength - kReplyHeadSize);
    return ReplyKind::Ours;
}

// A restarted camera creates its mailbox afresh; the old descriptor would feed a queue that
// nobody reads any more.
void reopenCamera(ztc_msg_q_context_t* ctx, const MboxName& name)
{
    const mqd_t fresh = mq_open(name.text, O_WRONLY);
    if (fresh == static_cast<mqd_t>(-1)) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: cannot reopen camera mailbox '%s': %s", name.text, strerror(errno));
        return;
    }
    if (ctx->txMqd != static_cast<mqd_t>(-1))
        mq_close(ctx->txMqd);
    ctx->txMqd = fresh;
    ZTLOG(UTIL_LOG_DEBUG, "camlink: camera mailbox '%s' reopened", name.text);
}

// Replies still queued belong to requests that timed out: no request is outstanding now.
void drainStaleReplies(mqd_t rx)
{
    if (!g_replyOverdue)
        return;
    g_replyOverdue = false;
    size_t length = 0;
    while (camlinkTimedReceive(rx, g_reply, sizeof g_reply, camlinkNowMs(), &length) == 1)
        ZTLOG(UTIL_LOG_WARN, "camlink: discarding a late reply of %zu bytes", length);
}

}  // namespace

void camlink_attach_context(ztc_msg_q_context_t* ctx) { g_attached.store(ctx); }

ztc_msg_q_context_t* camlink_attached_context() { return g_attached.load(); }

int camlink_exchange(ztc_msg_q_context_t* ctx, const CamlinkRequest& request, uint8_t* answer,
                     uint16_t answerCapacity, uint16_t* answerLength)
{
    if (answerLength)
        *answerLength = 0;
    if (ctx == nullptr || request.op == nullptr || strnlen(request.op, 2) != 2) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: request without context or operation code");
        return ZT_ERR_INVALID_PARAM;
    }
    if (request.args && request.args->overflowed()) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: arguments of %.2s do not fit a message", request.op);
        return ZT_ERR_INVALID_PARAM;
    }

    std::lock_guard<std::mutex> lock(g_exchangeMutex);
    camlink_attach_context(ctx);
    ctx->lastNakReason = 0;
    if (++ctx->sequence == 0)
        ++ctx->sequence;
    const uint32_t sequence = ctx->sequence;
    const MboxName src = nameOrDefault(ctx->rxName, CAMLINK_DEFAULT_REPLY_MBOX);
    const MboxName dst = nameOrDefault(ctx->cameraMboxName, CAMLINK_DEFAULT_CAMERA_MBOX);
    const int timeoutMs = ctx->replyTimeoutMs > 0 ? ctx->replyTimeoutMs : CAMLINK_DEFAULT_REPLY_TIMEOUT_MS;
    const int64_t deadline = camlinkNowMs() + timeoutMs;

    const int length = buildRequest(request, sequence, src, dst);
    if (length == 0) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: request %.2s with %u argument bytes does not fit a message", request.op,
              request.args ? request.args->size() : 0u);
        return ZT_ERR_INVALID_PARAM;
    }
    if (ctx->rxMqd == static_cast<mqd_t>(-1)) {
        ZTLOG(UTIL_LOG_ERROR, "camlink: no reply mailbox open for %.2s", request.op);
        return ZT_ERR_MQ_FAIL;
    }
    if (ctx->txMqd == static_cast<mqd_t>(-1))
        reopenCamera(ctx, dst);
    if (ctx->txMqd == static_cast<mqd_t>(-1))
        return ZT_ERR_MQ_FAIL;

    drainStaleReplies(ctx->rxMqd);
    if (camlinkTimedSend(ctx->txMqd, g_request, static_cast<size_t>(length), deadline) != 0) {
        reopenCamera(ctx, dst);
        return ZT_ERR_MQ_FAIL;
    }

    Reply reply{};
    for (;;) {
        size_t received = 0;
        const int r = camlinkTimedReceive(ctx->rxMqd, g_reply, sizeof g_reply, deadline, &received);
        if (r <= 0)
            g_replyOverdue = true;
        if (r < 0)
            return r;
        if (r == 0) {
            ZTLOG(UTIL_LOG_ERROR, "camlink: no reply to %.2s #%u within %d ms", request.op, sequence, timeoutMs);
            reopenCamera(ctx, dst);
            return ZT_ERR_MQ_FAIL;
        }
        if (examineReply(received, request.op, sequence, &reply) == ReplyKind::Ours)
            break;
    }

    ctx->lastNakReason = reply.nakReason;
    if (answer != nullptr) {
        if (reply.answerLength > answerCapacity) {
            ZTLOG(UTIL_LOG_ERROR, "camlink: answer of %u bytes to %.2s exceeds %u", reply.answerLength, request.op,
                  answerCapacity);
            return ZT_ERR;
        }
        if (reply.answerLength)
            memcpy(answer, reply.answer, reply.answerLength);
        if (answerLength)
            *answerLength = reply.answerLength;
    }
    if (reply.result != 0)
        ZTLOG(UTIL_LOG_DEBUG, "camlink: camera answered %d to %.2s (NAK reason %d)", reply.result, request.op,
              reply.nakReason);
    return reply.result;
}
