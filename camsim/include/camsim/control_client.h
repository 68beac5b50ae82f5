// Client of the simulator's control channel, for tools and scripts (ztctl sim ...).
#ifndef CAMSIM_CONTROL_CLIENT_H
#define CAMSIM_CONTROL_CLIENT_H

#include <string>

namespace camsim {

constexpr const char* kDefaultControlPath = "/tmp/ztcamsim.sock";

// Connects to path, sends line (one command, no line break) and stores the reply in *reply: the
// "ok ..."/"error ..." line, or the whole document (state, ops, help), without the line breaks
// that end it. 0 when a reply came; -1 with the reason in *reply otherwise (no simulator, time-out).
int controlRequest(const std::string& path, const std::string& line, std::string* reply, int timeoutMs = 5000);

}  // namespace camsim

#endif
