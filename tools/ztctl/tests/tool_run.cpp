#include "tool_run.h"

#include <sstream>

#include "ztctl_main.h"

namespace ztctl_test {

ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = ztctl::runZtctl(args, out, err);
    return {status, out.str(), err.str()};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace ztctl_test
