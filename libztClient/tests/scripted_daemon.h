// A daemon's side of the exchange on a private mailbox, parsed and answered with the message
// classes, for the client library's tests.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "queue_cleanup.h"
#include "ztClient.h"
#include "zt_msg_classes.h"

using Bytes = std::vector<uint8_t>;

// A request the daemon took; id kNoRequest when none came.
constexpr uint32_t kNoRequest = 0xFFFFFFFFu;
struct Seen {
    uint32_t id = kNoRequest;
    bool hasArgument = false;
    Bytes argument;
    std::string reply;
};

// The bytes of an answer: the result, and element 69 when the payload is not empty.
inline Bytes response(int32_t result, const Bytes& payload = {}, uint8_t type = ZT_MSG_TYPE_RESPONSE) {
    Msg msg(ZT_MSG_CATEGORY);
    msg.setMsgType(type);
    MsgElement r(ZT_TAG_RESULT, sizeof result, &result);
    MsgElement p(ZT_TAG_PAYLOAD, (uint16_t)payload.size(), payload.data());
    msg.addElement(&r);
    if (!payload.empty()) msg.addElement(&p);
    Bytes bytes(1500);
    MemStream out(bytes.data(), bytes.size());
    out << msg;
    bytes.resize(out.getLength());
    return bytes;
}

// A notification frame: the length counts the sender's NUL, which is not sent.
inline std::string frame(const std::string& json) {
    return "LENGTH:" + std::to_string(json.size() + 1) + "\n\n" + json;
}

// The daemon's side of the exchange, parsed and answered with the message classes.
class ScriptedDaemon {
public:
    explicit ScriptedDaemon(long maxMessages = 4) : name_(uniqueName()) { create(maxMessages); }
    // Serves the answers at once (see serve).
    explicit ScriptedDaemon(std::vector<Bytes> answers) : ScriptedDaemon() { serve(std::move(answers)); }
    ~ScriptedDaemon() { remove(); }

    // Takes one request per answer on a thread and sends the answer to its reply mailbox (an
    // empty answer: none); stops when no request comes within `seconds`.
    void serve(std::vector<Bytes> answers, int seconds = 10) {
        served();
        server_ = std::thread([this, answers, seconds] {
            for (const Bytes& answer : answers) {
                Seen seen = take(seconds);
                if (seen.id == kNoRequest) return;
                served_.push_back(seen);
                if (!answer.empty()) send(seen.reply, answer);
            }
        });
    }
    // Waits for serve() to end; every request it took, in order.
    const std::vector<Seen>& served() {
        if (server_.joinable()) server_.join();
        return served_;
    }
    // The last request served.
    Seen last() { return served().empty() ? Seen{} : served_.back(); }

    void create(long maxMessages = 4) {
        mq_attr attr = {};
        attr.mq_maxmsg = maxMessages;
        attr.mq_msgsize = 1500;
        remove();
        mqd_ = mq_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600, &attr);
        ASSERT_NE(mqd_, (mqd_t)-1);
    }
    // Waits for serve() to end first.
    void remove() {
        served();
        if (mqd_ != (mqd_t)-1) mq_close(mqd_);
        mq_unlink(name_.c_str());
        mqd_ = (mqd_t)-1;
    }
    const char* name() const { return name_.c_str(); }

    // The next request, waiting up to `seconds`.
    Seen take(int seconds = 2) {
        Seen seen;
        uint8_t buf[1500];
        timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += seconds;
        ssize_t n = mq_timedreceive(mqd_, reinterpret_cast<char*>(buf), sizeof buf, nullptr, &deadline);
        if (n < 0) return seen;
        Msg msg(0);
        MemStream in(buf, (size_t)n);
        in >> msg;
        const MsgElement* id = msg.findElement(ZT_TAG_COMMAND);
        const MsgElement* arg = msg.findElement(ZT_TAG_ARGUMENT);
        const MsgElement* reply = msg.findElement(ZT_TAG_REPLY_MBOX);
        if (in.failed() || msg.getCategory() != ZT_MSG_CATEGORY || !id || !reply) return seen;
        id->getValue32(seen.id);
        seen.hasArgument = arg != nullptr;
        if (arg && arg->getLength()) seen.argument.assign(arg->getData(), arg->getData() + arg->getLength());
        seen.reply.assign(reinterpret_cast<const char*>(reply->getData()), reply->getLength() - 1u);
        return seen;
    }

    // Any bytes as one message on a queue that exists (opened for the one message, as the daemon
    // answers).
    static bool send(const std::string& queue, const Bytes& bytes) {
        mqd_t tx = mq_open(queue.c_str(), O_WRONLY | O_NONBLOCK);
        if (tx == (mqd_t)-1) return false;
        bool sent = mq_send(tx, reinterpret_cast<const char*>(bytes.data()), bytes.size(), 0) == 0;
        mq_close(tx);
        return sent;
    }

    // A queue notification: an event with result 0 and the text with its NUL.
    static bool notify(const std::string& queue, const std::string& text) {
        return send(queue, response(0, Bytes(text.c_str(), text.c_str() + text.size() + 1), ZT_MSG_TYPE_EVENT));
    }

private:
    // The process id and a counter: several daemons may be up at once.
    static std::string uniqueName() {
        static std::atomic<unsigned> counter{0};
        return zt_cleanup::removeAtCrash("/ztclient_test_d_" + std::to_string(getpid()) + "_" +
                                         std::to_string(counter++));
    }

    std::string name_;
    mqd_t mqd_ = (mqd_t)-1;
    std::thread server_;
    std::vector<Seen> served_;
};

// A requester on a scripted daemon; its reply mailbox is removed even when the test crashes.
class ScriptedClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ztClient_open(&client, daemon.name(), "/ztclient_test"), 0);
        zt_cleanup::removeAtCrash(ztClient_replyMailbox(client));
    }
    void TearDown() override { ztClient_close(client); }

    ScriptedDaemon daemon;
    ztClient* client = nullptr;
};

inline bool mailboxExists(const std::string& name) {
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q != (mqd_t)-1) mq_close(q);
    return q != (mqd_t)-1;
}

