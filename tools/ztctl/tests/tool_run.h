// Runs ztctl in-process, capturing what it prints and its exit status.
#ifndef ZTCTL_TEST_TOOL_RUN_H
#define ZTCTL_TEST_TOOL_RUN_H

#include <string>
#include <vector>

namespace ztctl_test {

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun runTool(const std::vector<std::string>& args);
bool contains(const std::string& text, const std::string& part);

}  // namespace ztctl_test

#endif
