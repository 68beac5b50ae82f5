#include "support/notification_frames.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "queue_cleanup.h"
#include "support/json_check.h"
#include "ztClient.h"
#include "zt_msg_classes.h"

namespace {

constexpr size_t kQueueMessageSize = 1500;

}  // namespace

// Frames are split by the client library; the bytes it has not consumed yet wait in buffered_.
bool FrameReader::takeFrame(std::string* json) {
    if (buffered_.empty()) return false;
    if (body_.empty()) body_.resize(ZTNOTIFY_TEXT_MAX);
    int complete = 0;
    size_t length = 0;
    const long used = ztNotify_splitFrames(&split_, &body_[0], buffered_.data(), buffered_.size(), &complete, &length);
    if (used < 0) {
        malformed_ = true;
        return false;
    }
    buffered_.erase(0, (size_t)used);
    if (complete) json->assign(body_.data(), length);
    return complete != 0;
}

bool FrameReader::next(std::string* json, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!takeFrame(json)) {
        if (malformed_ || closed_) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        struct pollfd pfd = {fd_, POLLIN, 0};
        if (poll(&pfd, 1, (int)left.count()) <= 0) continue;
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof(buf), 0);
        if (n <= 0) {
            closed_ = true;
            continue;
        }
        buffered_.append(buf, (size_t)n);
    }
    return true;
}

std::vector<std::string> FrameReader::drain(int waitMs) {
    std::vector<std::string> frames;
    std::string json;
    while (next(&json, waitMs)) frames.push_back(json);
    return frames;
}

::testing::AssertionResult isJsonObject(const std::string& text) {
    JsonValue value;
    std::string error;
    if (!parseJson(text, value, &error)) return ::testing::AssertionFailure() << error << " in: " << text;
    if (value.kind != JsonValue::Object) return ::testing::AssertionFailure() << "not an object: " << text;
    return ::testing::AssertionSuccess();
}

PrivateQueue::PrivateQueue(const std::string& tag, long maxMessages) {
    static int counter = 0;
    name_ = zt_cleanup::removeAtCrash("/ztcd_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    struct mq_attr attr;
    memset(&attr, 0, sizeof(attr));
    attr.mq_maxmsg = maxMessages;
    attr.mq_msgsize = kQueueMessageSize;
    mq_unlink(name_.c_str());
    mqd_ = mq_open(name_.c_str(), O_RDWR | O_CREAT, 0600, &attr);
    EXPECT_NE(mqd_, (mqd_t)-1) << name_ << ": " << strerror(errno);
}

PrivateQueue::~PrivateQueue() {
    if (mqd_ != (mqd_t)-1) mq_close(mqd_);
    mq_unlink(name_.c_str());
}

std::vector<uint8_t> PrivateQueue::receive(int timeoutMs) {
    std::vector<uint8_t> bytes(kQueueMessageSize);
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
    struct mq_attr attr;
    memset(&attr, 0, sizeof(attr));
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

Bytes queueRegistration(uint32_t flag, const std::string& name) { return cat(u32Arg(flag), textArg(name)); }
