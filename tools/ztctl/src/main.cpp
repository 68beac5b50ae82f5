// ztctl: command-line client of ztControlD.
#include <iostream>

#include "signal_cleanup.h"
#include "ztLog.h"
#include "ztctl_main.h"

int main(int argc, char** argv) {
    // ztctl reports failures itself; keep only the messaging library's error-level trace.
    g_debug_level = (g_debug_level & ~0xFFu) | 8u;
    ztctl::installSignalCleanup();
    std::vector<std::string> args(argv + 1, argv + argc);
    return ztctl::runZtctl(args, std::cout, std::cerr);
}
