#include "support.h"

#include <sstream>

#include "support/json_check.h"
#include "ztctl_main.h"

namespace ztctl_test {

ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = ztctl::runZtctl(args, out, err);
    return {status, out.str(), err.str()};
}

bool isValidJson(const std::string& text) {
    JsonValue doc;
    return parseJson(text, doc);
}

FakeDaemon::FakeDaemon(std::vector<Bytes> answers)
    : thread_([this, answers] {
          for (const Bytes& answer : answers) {
              Seen seen = box_.take(10);
              if (seen.id == 0xFFFFFFFFu) return;
              seen_ = seen;
              requests_++;
              if (!answer.empty()) ScriptedDaemon::send(seen_.reply, answer);
          }
      }) {}

const Seen& FakeDaemon::seen() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

}  // namespace ztctl_test
