// A stand-in for the daemon's mailbox in the tests: a thread that takes one request from a
// private mailbox and answers it the way a test chooses.
#ifndef ZTCTL_TEST_FAKE_DAEMON_H
#define ZTCTL_TEST_FAKE_DAEMON_H

#include <mqueue.h>
#include <stdint.h>

#include <string>
#include <thread>
#include <vector>

namespace ztctl_test {

struct FakeAnswer {
    enum class Kind { Response, RawBytes, Silence } kind = Kind::Response;
    int32_t result = 0;
    std::vector<uint8_t> payload;  // Response: element 69 when not empty; RawBytes: the whole message
};

// What the fake saw of the request.
struct SeenRequest {
    bool received = false;
    bool parsed = false;
    uint8_t category = 0;
    uint32_t id = 0;
    bool hasArgument = false;
    std::vector<uint8_t> argument;
    std::string replyMailbox;
};

class FakeDaemon {
public:
    // Creates a uniquely named mailbox (pid and a counter in the name) with room for maxMsg
    // messages, and starts the thread that answers one request.
    explicit FakeDaemon(FakeAnswer answer, long maxMsg = 2);
    ~FakeDaemon();

    const std::string& mailbox() const { return name_; }
    // Joins the thread; valid afterwards.
    const SeenRequest& seen();

private:
    void serve(FakeAnswer answer);

    std::string name_;
    mqd_t mqd_ = (mqd_t)-1;
    SeenRequest seen_;
    std::thread thread_;
};

// A mailbox that nobody reads, filled to the brim.
class FullMailbox {
public:
    FullMailbox();
    ~FullMailbox();
    const std::string& mailbox() const { return name_; }

private:
    std::string name_;
    mqd_t mqd_ = (mqd_t)-1;
};

bool mailboxExists(const std::string& name);

}  // namespace ztctl_test

#endif
