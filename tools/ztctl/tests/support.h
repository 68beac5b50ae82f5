// Test support: ztctl run in-process, a stand-in for the daemon's mailbox, and a strict JSON check.
#ifndef ZTCTL_TEST_SUPPORT_H
#define ZTCTL_TEST_SUPPORT_H

#include <mqueue.h>
#include <stdint.h>

#include <string>
#include <thread>
#include <vector>

namespace ztctl_test {

struct ToolRun {
    int status;
    std::string out, err;
};
ToolRun runTool(const std::vector<std::string>& args);  // without the program name

// RFC 8259 grammar, one value and nothing after it.
bool isValidJson(const std::string& text);

// A notification frame: the length counts the sender's NUL, which is not sent.
std::string frame(const std::string& body);

// A private mailbox (pid and a counter in its name), removed on destruction.
struct Mailbox {
    explicit Mailbox(long maxMsg);
    ~Mailbox();
    std::string name;
    mqd_t mqd;
};
bool mailboxExists(const std::string& name);

// The bytes of a response: the result, and element 69 when the payload is not empty.
std::vector<uint8_t> response(int32_t result, const std::vector<uint8_t>& payload = {});

struct SeenRequest {
    uint8_t category = 0;
    uint32_t id = 0;
    bool hasArgument = false;
    std::vector<uint8_t> argument;
    std::string replyMailbox;
};

// Takes one request from its own mailbox on a thread and sends `answer` to the reply mailbox
// (nothing when `answer` is empty); or one request per answer of a list, in order.
class FakeDaemon {
  public:
    explicit FakeDaemon(std::vector<uint8_t> answer = response(0))
        : FakeDaemon(std::vector<std::vector<uint8_t>>{std::move(answer)}) {}
    explicit FakeDaemon(std::vector<std::vector<uint8_t>> answers);
    ~FakeDaemon() { seen(); }
    const std::string& mailbox() const { return box_.name; }
    // Waits for the last request (at most 10 s each) and says what it held.
    const SeenRequest& seen();
    // How many requests came (after seen()).
    size_t requests() const { return requests_; }

  private:
    bool serveOne(const std::vector<uint8_t>& answer);
    Mailbox box_{2};
    SeenRequest seen_;
    size_t requests_ = 0;
    std::thread thread_;
};

}  // namespace ztctl_test

#endif
