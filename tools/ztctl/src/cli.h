// Command-line parsing of ztctl into one Invocation, and the help texts.
#ifndef ZTCTL_CLI_H
#define ZTCTL_CLI_H

#include <string>
#include <vector>

#include "arg_builder.h"
#include "commands.h"
#include "ztcontrol_commands.h"

namespace ztctl {

// The command table, argument builders and answer decoders come from the client library.
using namespace ztclient;

enum class Mode { Usage, List, Device, Watch, Sim };

struct WatchOptions {
    std::string host = "127.0.0.1";
    int port = 8081;
    bool raw = false;
    long count = 0;  // 0: until the connection ends
    bool subscribe = true;
};

struct SimOptions {
    std::string socketPath;  // empty: the simulator's default
    std::vector<std::string> words;
};

struct Invocation {
    Mode mode = Mode::Usage;
    bool json = false;
    bool help = false;
    double timeoutSeconds = 5.0;
    bool follow = false;           // transcode-status: repeat until the job ends
    double intervalSeconds = 0.5;  // between the requests of --follow
    std::string mailbox;
    std::string commandWord;  // as typed, for Mode::Device
    ArgumentOptions argument;
    WatchOptions watch;
    SimOptions sim;
};

// False with a message when the command line is not usable.
bool parseInvocation(const std::vector<std::string>& args, Invocation& inv, std::string& error);

const char* usageText();
std::string commandHelp(uint32_t id, const ZtcontrolCommandInfo* info);

}  // namespace ztctl

#endif
