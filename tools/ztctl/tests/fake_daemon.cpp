#include "fake_daemon.h"

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "zt_msg_classes.h"

namespace ztctl_test {

namespace {

std::string uniqueName(const char* what) {
    static std::atomic<unsigned> counter{0};
    return std::string("/ztctl_test_") + what + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

mqd_t create(const std::string& name, long maxMsg, int flags) {
    struct mq_attr attr;
    memset(&attr, 0, sizeof attr);
    attr.mq_maxmsg = maxMsg;
    attr.mq_msgsize = 1500;
    mq_unlink(name.c_str());
    return mq_open(name.c_str(), flags | O_CREAT | O_EXCL, 0600, &attr);
}

void sendTo(const std::string& name, const uint8_t* data, size_t length) {
    mqd_t q = mq_open(name.c_str(), O_WRONLY);
    if (q == (mqd_t)-1) return;
    mq_send(q, (const char*)data, length, 0);
    mq_close(q);
}

}  // namespace

FakeDaemon::FakeDaemon(FakeAnswer answer, long maxMsg) : name_(uniqueName("daemon")) {
    mqd_ = create(name_, maxMsg, O_RDONLY);
    thread_ = std::thread(&FakeDaemon::serve, this, std::move(answer));
}

FakeDaemon::~FakeDaemon() {
    if (thread_.joinable()) thread_.join();
    if (mqd_ != (mqd_t)-1) mq_close(mqd_);
    mq_unlink(name_.c_str());
}

const SeenRequest& FakeDaemon::seen() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void FakeDaemon::serve(FakeAnswer answer) {
    if (mqd_ == (mqd_t)-1) return;
    uint8_t buf[1500];
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 10;
    ssize_t n = mq_timedreceive(mqd_, (char*)buf, sizeof buf, nullptr, &deadline);
    if (n < 0) return;
    seen_.received = true;
    Msg request(0);
    MemStream in(buf, (size_t)n);
    in >> request;
    seen_.parsed = !in.failed();
    seen_.category = request.getCategory();
    if (const MsgElement* id = request.findElement(ZT_TAG_COMMAND)) id->getValue32(seen_.id);
    if (const MsgElement* arg = request.findElement(ZT_TAG_ARGUMENT)) {
        seen_.hasArgument = true;
        if (arg->getLength()) seen_.argument.assign(arg->getData(), arg->getData() + arg->getLength());
    }
    const MsgElement* reply = request.findElement(ZT_TAG_REPLY_MBOX);
    if (!reply || reply->getLength() == 0) return;
    seen_.replyMailbox.assign((const char*)reply->getData(), strnlen((const char*)reply->getData(), reply->getLength()));

    switch (answer.kind) {
        case FakeAnswer::Kind::Silence: return;
        case FakeAnswer::Kind::RawBytes: sendTo(seen_.replyMailbox, answer.payload.data(), answer.payload.size()); return;
        case FakeAnswer::Kind::Response: {
            Msg response(ZT_MSG_CATEGORY);
            response.setMsgType(ZT_MSG_TYPE_RESPONSE);
            MsgElement result(ZT_TAG_RESULT, sizeof answer.result, &answer.result);
            MsgElement payload(ZT_TAG_PAYLOAD, (uint16_t)answer.payload.size(), answer.payload.data());
            MsgElement end(ZT_TAG_END, 0, nullptr);
            response.addElement(&result);
            if (!answer.payload.empty()) response.addElement(&payload);
            response.addElement(&end);
            uint8_t out[1500];
            MemStream stream(out, sizeof out);
            stream << response;
            if (!stream.failed()) sendTo(seen_.replyMailbox, stream.getBuffer(), stream.getLength());
            return;
        }
    }
}

FullMailbox::FullMailbox() : name_(uniqueName("full")) {
    mqd_ = create(name_, 1, O_RDWR);
    const char filler = 0;
    if (mqd_ != (mqd_t)-1) mq_send(mqd_, &filler, 1, 0);
}

FullMailbox::~FullMailbox() {
    if (mqd_ != (mqd_t)-1) mq_close(mqd_);
    mq_unlink(name_.c_str());
}

bool mailboxExists(const std::string& name) {
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q == (mqd_t)-1) return false;
    mq_close(q);
    return true;
}

}  // namespace ztctl_test
