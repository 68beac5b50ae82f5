#include "support/requester.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "zt_msg_classes.h"
#include "ztClient.h"
#include "ztTlv.h"
#include "queue_cleanup.h"

constexpr size_t kMsgSize = ZTMSG_MAX;

timespec deadlineIn(int ms) {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    const int64_t nanoseconds = (int64_t)t.tv_nsec + (int64_t)ms * 1000000;
    t.tv_sec += (time_t)(nanoseconds / 1000000000);
    t.tv_nsec = (long)(nanoseconds % 1000000000);
    return t;
}

PrivateQueue::PrivateQueue(const std::string& tag, long maxMessages) {
    static std::atomic<int> counter{0};
    name_ = "/ztcd_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    struct mq_attr attr = {};
    attr.mq_maxmsg = maxMessages;
    attr.mq_msgsize = kMsgSize;
    mq_unlink(zt_cleanup::removeAtCrash(name_).c_str());
    mqd_ = mq_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600, &attr);
    EXPECT_NE(mqd_, (mqd_t)-1) << name_ << ": " << strerror(errno);
}

PrivateQueue::~PrivateQueue() {
    if (mqd_ != (mqd_t)-1) mq_close(mqd_);
    mq_unlink(name_.c_str());
}

std::vector<uint8_t> PrivateQueue::receive(int timeoutMs) {
    std::vector<uint8_t> bytes(kMsgSize);
    const timespec deadline = deadlineIn(timeoutMs);
    ssize_t n = mq_timedreceive(mqd_, reinterpret_cast<char*>(bytes.data()), bytes.size(), nullptr, &deadline);
    bytes.resize(n > 0 ? (size_t)n : 0);
    return bytes;
}

std::vector<std::string> PrivateQueue::texts(int waitMs) {
    std::vector<std::string> out;
    for (std::vector<uint8_t> bytes; !(bytes = receive(waitMs)).empty();) {
        const std::string text = parseQueueNotification(bytes).text;
        out.push_back(text.empty() ? text : text.substr(0, text.size() - 1));
    }
    return out;
}

bool PrivateQueue::fill() {
    const struct timespec past = {0, 0};
    const char byte = 0;
    while (mq_timedsend(mqd_, &byte, 1, 0, &past) == 0) {
    }
    return errno == ETIMEDOUT;
}

long PrivateQueue::queued() const {
    struct mq_attr attr = {};
    mq_getattr(mqd_, &attr);
    return attr.mq_curmsgs;
}

QueueNotification parseQueueNotification(const std::vector<uint8_t>& bytes) {
    QueueNotification out;
    std::vector<uint8_t> copy(bytes);
    Msg msg(0);
    MemStream in(copy.data(), copy.size());
    in >> msg;
    out.parsed = !bytes.empty() && !in.failed() && in.getLength() == bytes.size();
    out.category = msg.getCategory();
    out.msgType = msg.getMsgType();
    for (size_t i = 0; i < msg.elementCount(); ++i) out.tags.push_back(msg.elementAt(i)->getTag());
    const MsgElement* result = msg.findElement(ZT_TAG_RESULT);
    if (result && result->getLength() == sizeof(int32_t)) memcpy(&out.result, result->getData(), sizeof(int32_t));
    const MsgElement* payload = msg.findElement(ZT_TAG_PAYLOAD);
    if (payload && payload->getData())
        out.text.assign(reinterpret_cast<const char*>(payload->getData()), payload->getLength());
    return out;
}

Bytes u8Arg(uint8_t v) { return Bytes{v}; }

Bytes u32Arg(uint32_t v) {
    Bytes b(4);
    putLe32(b, 0, v);
    return b;
}

Bytes textArg(const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

void putLe32(Bytes& b, size_t offset, uint32_t v) {
    if (b.size() < offset + 4) b.resize(offset + 4);
    for (int i = 0; i < 4; ++i) b[offset + i] = (uint8_t)(v >> (8 * i));
}

Bytes buildRequest(uint32_t id, const std::optional<Bytes>& arg, const char* replyTo, uint8_t category,
                   const std::optional<Bytes>& commandBytes) {
    if (replyTo && category == ZT_MSG_CATEGORY && !commandBytes) {
        static const uint8_t kNoBytes = 0;  // an empty argument is still an element
        Bytes out(kMsgSize);
        const int length = ztClient_encodeRequest(id, arg ? (arg->empty() ? &kNoBytes : arg->data()) : nullptr,
                                                  arg ? arg->size() : 0, replyTo, out.data(), out.size());
        out.resize(length < 0 ? 0 : (size_t)length);
        return out;
    }
    // Only the malformed shapes are built here, element by element.
    Msg msg(category);
    const Bytes idBytes = commandBytes ? *commandBytes : u32Arg(id);
    MsgElement command(ZT_TAG_COMMAND, (uint16_t)idBytes.size(), idBytes.data());
    MsgElement argument(ZT_TAG_ARGUMENT, arg ? (uint16_t)arg->size() : 0, arg ? arg->data() : nullptr);
    MsgElement reply(ZT_TAG_REPLY_MBOX, replyTo ? (uint16_t)(strlen(replyTo) + 1) : 0, replyTo);
    if (!idBytes.empty()) msg.addElement(&command);
    if (arg) msg.addElement(&argument);
    if (replyTo) msg.addElement(&reply);
    Bytes out(kMsgSize);
    MemStream stream(out.data(), out.size());
    stream << msg;
    out.resize(stream.failed() ? 0 : stream.getLength());
    return out;
}

Bytes buildTlvEvent(uint8_t category, const std::string& cmd, const std::optional<Bytes>& arg, int argType) {
    Bytes out(kMsgSize);
    unsigned char* buf = out.data();
    sntlv_msg_init(buf, (int)out.size(), category);
    if (!cmd.empty()) sntlv_add_bin(buf, (int)out.size(), TLV_CMD, (int)cmd.size(), cmd.data());
    if (arg) sntlv_add_bin(buf, (int)out.size(), argType, (int)arg->size(), arg->data());
    sntlv_add_bin(buf, (int)out.size(), TLV_SRC, 9, "/to_ztnet");
    sntlv_add_bin(buf, (int)out.size(), TLV_DST, 10, "/to_ztCtlD");
    sntlv_add_dat(buf, (int)out.size(), TLV_END, 0, 0);
    out.resize((size_t)sntlv_msg_len(buf));
    return out;
}

bool Requester::sendRaw(const Bytes& bytes, int timeoutMs) {
    mqd_t mqd = mq_open(daemonMbox_.c_str(), O_WRONLY);
    if (mqd == (mqd_t)-1) return false;
    timespec deadline = deadlineIn(timeoutMs);
    static const char kEmpty = 0;  // an empty message still needs a valid pointer
    const char* data = bytes.empty() ? &kEmpty : reinterpret_cast<const char*>(bytes.data());
    bool ok = mq_timedsend(mqd, data, bytes.size(), 0, &deadline) == 0;
    mq_close(mqd);
    return ok;
}

bool Requester::send(uint32_t id, const std::optional<Bytes>& arg) {
    return sendRaw(buildRequest(id, arg, replyName().c_str()));
}

Reply Requester::waitReply(int timeoutMs) {
    Reply reply;
    Bytes buf = replies_.receive(timeoutMs);
    if (buf.empty()) return reply;
    reply.received = true;
    Msg msg(0);
    MemStream stream(buf.data(), buf.size());
    stream >> msg;
    reply.category = msg.getCategory();
    reply.msgType = msg.getMsgType();
    uint32_t result = 0;
    const MsgElement* r = msg.findElement(ZT_TAG_RESULT);
    reply.hasResult = r && r->getValue32(result);
    reply.result = (int32_t)result;
    const MsgElement* p = msg.findElement(ZT_TAG_PAYLOAD);
    if (p && p->getData()) {
        reply.hasPayload = true;
        reply.payload.assign(p->getData(), p->getData() + p->getLength());
    }
    return reply;
}

Reply Requester::call(uint32_t id, const std::optional<Bytes>& arg, int timeoutMs) {
    if (!send(id, arg)) return Reply();
    return waitReply(timeoutMs);
}
