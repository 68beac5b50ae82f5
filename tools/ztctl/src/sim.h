// ztctl sim: one line to the camera simulator's control channel, its reply printed.
#ifndef ZTCTL_SIM_H
#define ZTCTL_SIM_H

#include <ostream>

#include "cli.h"

namespace ztctl {

const char* simHelp();
// Exit status: 0 when the reply starts with "ok" or is JSON, 1 when it starts with "error" (or
// is anything else), 2 when the simulator cannot be reached or no words were given.
int runSim(const SimOptions& options, double timeoutSeconds, std::ostream& out, std::ostream& err);

}  // namespace ztctl

#endif
