#include "ztctl_main.h"

#include "cli.h"
#include "follow.h"
#include "output.h"
#include "sim.h"
#include "transport.h"
#include "watch.h"

namespace ztctl {

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoResponse = 2;

const char* kWatchHelp =
    "Usage: ztctl watch [--host H] [--port P] [--raw] [--count N] [--no-subscribe]\n"
    "Connects to the daemon's notification port (default 127.0.0.1:8081), turns notifications on\n"
    "(command 43 \"status=1\" through the mailbox, unless --no-subscribe) and prints each frame's\n"
    "JSON as it arrives: indented by default, or with --raw one frame per line as received.\n"
    "--count N stops after N frames. Exit status: 0 after --count frames, 1 when the connection\n"
    "ended first, 2 when it could not be made, a frame was malformed or the subscription failed.\n";

int runDevice(const Invocation& inv, std::ostream& out, std::ostream& err) {
    uint32_t id = 0;
    const ZtcontrolCommandInfo* info = nullptr;
    if (!resolveCommand(inv.commandWord, id, info)) {
        err << "ztctl: unknown command '" << inv.commandWord << "' (see 'ztctl list')\n";
        return kExitUsage;
    }
    if (inv.help) {
        out << commandHelp(id, info);
        return 0;
    }
    Request request;
    request.id = id;
    std::string error;
    if (!buildArgument(id, info ? info->argKind : ZT_ARG_ANY, inv.argument, request.hasArgument, request.argument,
                       error)) {
        err << "ztctl: " << commandName(info) << ": " << error << "\n";
        return kExitUsage;
    }
    if (inv.follow) {
        if (id != ZTCONTROL_TRANSCODE_STATUS) {
            err << "ztctl: --follow applies to transcode-status only\n";
            return kExitUsage;
        }
        return runFollow(inv, request, out, err);
    }
    Response response;
    Outcome outcome = exchange(inv.mailbox, inv.timeoutSeconds, request, response, error);
    if (outcome != Outcome::Answered) {
        if (inv.json) out << renderFailureJson(id, info, outcomeCode(outcome), error);
        err << "ztctl: " << commandName(info) << ": " << error << "\n";
        return kExitNoResponse;
    }
    out << (inv.json ? renderResultJson(id, info, response) : renderResultText(id, info, response));
    return response.result == 0 ? 0 : 1;
}

}  // namespace

int runZtctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Invocation inv;
    std::string error;
    if (!parseInvocation(args, inv, error)) {
        err << "ztctl: " << error << "\n(see 'ztctl --help')\n";
        return kExitUsage;
    }
    switch (inv.mode) {
        case Mode::Usage:
            if (inv.help || inv.commandWord == "help") {
                out << usageText();
                return 0;
            }
            err << usageText();
            return kExitUsage;
        case Mode::List:
            out << (inv.json ? renderCommandTableJson() : renderCommandTableText());
            return 0;
        case Mode::Watch:
            if (inv.help) {
                out << kWatchHelp;
                return 0;
            }
            return runWatch(inv.watch, inv.mailbox, inv.timeoutSeconds, out, err);
        case Mode::Sim:
            if (inv.help) {
                out << simHelp();
                return 0;
            }
            return runSim(inv.sim, inv.timeoutSeconds, out, err);
        case Mode::Device: return runDevice(inv, out, err);
    }
    return kExitUsage;
}

}  // namespace ztctl
