// Test support: ztctl run in-process, a stand-in for the daemon's mailbox (on the client library's
// scripted daemon), and a strict JSON check.
#ifndef ZTCTL_TEST_SUPPORT_H
#define ZTCTL_TEST_SUPPORT_H

#include <string>
#include <thread>
#include <vector>

#include "scripted_daemon.h"

namespace ztctl_test {

struct ToolRun {
    int status;
    std::string out, err;
};
ToolRun runTool(const std::vector<std::string>& args);  // without the program name

// Strict JSON (the platform tests' reader), one value and nothing after it.
bool isValidJson(const std::string& text);

// Takes one request from its own mailbox on a thread and sends `answer` to the reply mailbox
// (nothing when `answer` is empty); or one request per answer of a list, in order.
class FakeDaemon {
  public:
    explicit FakeDaemon(Bytes answer = response(0)) : FakeDaemon(std::vector<Bytes>{std::move(answer)}) {}
    explicit FakeDaemon(std::vector<Bytes> answers);
    ~FakeDaemon() { seen(); }
    const char* mailbox() const { return box_.name(); }
    // Waits for the last request (at most 10 s each) and says what it held.
    const Seen& seen();
    // How many requests came (after seen()).
    size_t requests() const { return requests_; }

  private:
    ScriptedDaemon box_{2};
    Seen seen_;
    size_t requests_ = 0;
    std::thread thread_;
};

}  // namespace ztctl_test

#endif
