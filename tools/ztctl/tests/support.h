// Test support: ztctl run in-process, the client library's scripted daemon as a stand-in for the
// daemon's mailbox, and a strict JSON check.
#ifndef ZTCTL_TEST_SUPPORT_H
#define ZTCTL_TEST_SUPPORT_H

#include <sstream>
#include <string>
#include <vector>

#include "scripted_daemon.h"
#include "support/json_check.h"
#include "ztctl_main.h"

namespace ztctl_test {

struct ToolRun {
    int status;
    std::string out, err;
};

// Runs ztctl with args (without the program name).
inline ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = ztctl::runZtctl(args, out, err);
    return {status, out.str(), err.str()};
}

// Strict JSON (the platform tests' check), one value and nothing after it.
inline bool isValidJson(const std::string& text) { return !parseJson(text).is_discarded(); }

}  // namespace ztctl_test

#endif
