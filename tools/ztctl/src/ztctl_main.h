// The whole of ztctl behind main(): parse, run the mode, print, and return the exit status.
#ifndef ZTCTL_MAIN_H
#define ZTCTL_MAIN_H

#include <ostream>
#include <string>
#include <vector>

namespace ztctl {

// args excludes the program name.
int runZtctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ztctl

#endif
