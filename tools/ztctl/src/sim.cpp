#include "sim.h"

#include "camsim/control_client.h"

namespace ztctl {

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

const char* simHelp() {
    return "Usage: ztctl sim [--socket PATH] WORDS...\n"
           "Sends WORDS, joined by blanks, as one line to the camera simulator's control channel\n"
           "(default /tmp/ztcamsim.sock) and prints its reply. 'ztctl sim help' lists the simulator's\n"
           "commands; 'ztctl sim state' prints the simulated camera as JSON.\n"
           "Exit status: 0 for an \"ok\" reply or a document, 1 for an \"error\" reply, 2 when the\n"
           "simulator cannot be reached.\n";
}

int runSim(const SimOptions& options, double timeoutSeconds, std::ostream& out, std::ostream& err) {
    if (options.words.empty()) {
        err << "ztctl sim: nothing to send (try 'ztctl sim help')\n";
        return 2;
    }
    std::string line;
    for (const std::string& word : options.words) line += (line.empty() ? "" : " ") + word;
    const std::string path = options.socketPath.empty() ? camsim::kDefaultControlPath : options.socketPath;
    std::string reply;
    if (camsim::controlRequest(path, line, &reply, (int)(timeoutSeconds * 1000)) != 0) {
        err << "ztctl sim: " << reply << " (is ztcamsim running?)\n";
        return 2;
    }
    out << reply << "\n";
    return startsWith(reply, "error") ? 1 : 0;
}

}  // namespace ztctl
