#include "support.h"

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <sstream>

#include "zt_msg_classes.h"
#include "ztctl_main.h"
#include "queue_cleanup.h"

namespace ztctl_test {

ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = ztctl::runZtctl(args, out, err);
    return {status, out.str(), err.str()};
}

namespace {

// Recursive descent; every step checks the end, and a NUL byte is never white space or an escape.
struct Json {
    const std::string& s;
    size_t k = 0;

    bool in(const char* set) const { return k < s.size() && s[k] != '\0' && strchr(set, s[k]); }
    bool eat(char c) { return k < s.size() && s[k] == c && ++k; }
    void ws() {
        while (in(" \t\r\n")) k++;
    }
    bool digits() {
        size_t from = k;
        while (in("0123456789")) k++;
        return k > from;
    }
    bool number() {  // a leading zero followed by digits fails where the next token is expected
        eat('-');
        if ((!eat('0') && !digits()) || (eat('.') && !digits())) return false;
        if (!eat('e') && !eat('E')) return true;
        if (!eat('+')) eat('-');
        return digits();
    }
    bool string() {
        if (!eat('"')) return false;
        while (k < s.size() && s[k] != '"') {
            unsigned char c = (unsigned char)s[k++];
            if (c < 0x20) return false;
            if (c != '\\') continue;
            const bool unicode = eat('u');
            for (int n = 0; n < (unicode ? 4 : 1); n++, k++)
                if (!in(unicode ? "0123456789abcdefABCDEF" : "\"\\/bfnrt")) return false;
        }
        return eat('"');
    }
    bool members(char close, bool object) {
        ws();
        if (eat(close)) return true;
        do {
            ws();
            if (object && !(string() && (ws(), eat(':')))) return false;
            if (!value()) return false;
            ws();
        } while (eat(','));
        return eat(close);
    }
    bool value() {
        ws();
        if (eat('{')) return members('}', true);
        if (eat('[')) return members(']', false);
        if (k < s.size() && s[k] == '"') return string();
        for (const char* word : {"true", "false", "null"})
            if (s.compare(k, strlen(word), word) == 0) return k += strlen(word), true;
        return number();
    }
};

}  // namespace

bool isValidJson(const std::string& text) {
    Json json{text};
    bool ok = json.value();
    json.ws();
    return ok && json.k == text.size();
}

std::string frame(const std::string& body) {
    return "LENGTH:" + std::to_string(body.size() + 1) + "\n\n" + body;
}

Mailbox::Mailbox(long maxMsg) {
    static std::atomic<unsigned> counter{0};
    name = zt_cleanup::removeAtCrash("/ztctl_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    struct mq_attr attr;
    memset(&attr, 0, sizeof attr);
    attr.mq_maxmsg = maxMsg;
    attr.mq_msgsize = 1500;
    mq_unlink(name.c_str());
    mqd = mq_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600, &attr);
}

Mailbox::~Mailbox() {
    if (mqd != (mqd_t)-1) mq_close(mqd);
    mq_unlink(name.c_str());
}

bool mailboxExists(const std::string& name) {
    mqd_t q = mq_open(name.c_str(), O_RDONLY);
    if (q != (mqd_t)-1) mq_close(q);
    return q != (mqd_t)-1;
}

std::vector<uint8_t> response(int32_t result, const std::vector<uint8_t>& payload) {
    Msg msg(ZT_MSG_CATEGORY);
    msg.setMsgType(ZT_MSG_TYPE_RESPONSE);
    MsgElement resultElement(ZT_TAG_RESULT, sizeof result, &result);
    MsgElement payloadElement(ZT_TAG_PAYLOAD, (uint16_t)payload.size(), payload.data());
    MsgElement end(ZT_TAG_END, 0, nullptr);
    msg.addElement(&resultElement);
    if (!payload.empty()) msg.addElement(&payloadElement);
    msg.addElement(&end);
    std::vector<uint8_t> bytes(1500);
    MemStream stream(bytes.data(), bytes.size());
    stream << msg;
    bytes.resize(stream.failed() ? 0 : stream.getLength());
    return bytes;
}

FakeDaemon::FakeDaemon(std::vector<std::vector<uint8_t>> answers)
    : thread_([this, answers] {
          for (const auto& answer : answers)
              if (!serveOne(answer)) break;
      }) {}

const SeenRequest& FakeDaemon::seen() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

bool FakeDaemon::serveOne(const std::vector<uint8_t>& answer) {
    uint8_t buf[1500];
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 10;
    ssize_t n = mq_timedreceive(box_.mqd, (char*)buf, sizeof buf, nullptr, &deadline);
    if (n <= 0) return false;
    requests_++;
    seen_ = SeenRequest();
    Msg request(0);
    MemStream in(buf, (size_t)n);
    in >> request;
    if (in.failed()) return false;
    seen_.category = request.getCategory();
    if (const MsgElement* id = request.findElement(ZT_TAG_COMMAND)) id->getValue32(seen_.id);
    if (const MsgElement* arg = request.findElement(ZT_TAG_ARGUMENT)) {
        seen_.hasArgument = true;
        seen_.argument.assign(arg->getData(), arg->getData() + arg->getLength());
    }
    if (const MsgElement* reply = request.findElement(ZT_TAG_REPLY_MBOX)) {
        const char* name = (const char*)reply->getData();
        seen_.replyMailbox.assign(name, strnlen(name, reply->getLength()));
    }
    mqd_t q = mq_open(seen_.replyMailbox.c_str(), O_WRONLY);
    if (q == (mqd_t)-1) return false;
    if (!answer.empty()) mq_send(q, (const char*)answer.data(), answer.size(), 0);
    mq_close(q);
    return true;
}

}  // namespace ztctl_test
