// ztctl transcode-status --follow: asks the daemon for a transcode job's record again and again
// and prints every change of its status or progress until the job ends.
#ifndef ZTCTL_FOLLOW_H
#define ZTCTL_FOLLOW_H

#include <ostream>

#include "cli.h"
#include "transport.h"

namespace ztctl {

// `request` is a built status request (command 49 with the job id). Exit status: 0 when the job
// is done, 1 when it was cancelled or failed or the daemon no longer answers its record, 2 when an
// exchange got no usable answer.
int runFollow(const Invocation& inv, const Request& request, std::ostream& out, std::ostream& err);

}  // namespace ztctl

#endif
