// ztctl watch: connect to the notification port, turn notifications on through the daemon's
// mailbox, and print each frame's JSON as it arrives.
#ifndef ZTCTL_WATCH_H
#define ZTCTL_WATCH_H

#include <ostream>
#include <string>

#include "cli.h"

namespace ztctl {

// Returns the exit status: 0 when --count frames were printed, 1 when the connection ended
// first, 2 when it could not be made, the stream was malformed, or the subscription got no
// answer (the message goes to err).
int runWatch(const WatchOptions& options, const std::string& mailbox, double timeoutSeconds, std::ostream& out,
             std::ostream& err);

}  // namespace ztctl

#endif
