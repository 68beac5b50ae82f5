// ztctl sim: one line to the camera simulator's control channel, its reply printed.
#ifndef ZTCTL_SIM_H
#define ZTCTL_SIM_H

#include <ostream>

#include "cli.h"

namespace ztctl {

const char* simHelp();
// Exit status: 1 when the reply starts with "error", 0 for any other reply ("ok ..." or a
// document), 2 when the simulator cannot be reached or no words were given.
int runSim(const SimOptions& options, double timeoutSeconds, std::ostream& out, std::ostream& err);

}  // namespace ztctl

#endif
