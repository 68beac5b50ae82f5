#include "cli.h"

#include <stdlib.h>

#include <google/protobuf/descriptor.h>

#include "decoders.h"
#include "preset_messages.h"
#include "transport.h"

namespace ztctl {

namespace {

bool takesValue(const std::string& option) {
    static const char* const kValued[] = {"timeout", "mailbox", "host", "port", "count", "u8",
                                          "u16",     "u32",     "text", "hex",  "proto", "interval"};
    for (const char* v : kValued)
        if (option == v) return true;
    return isStructureFlag(option);
}

bool isScalarOption(const std::string& option) {
    return option == "u8" || option == "u16" || option == "u32" || option == "text" || option == "hex" ||
           option == "proto";
}

bool parseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    double v = strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v > 0.0) || v > 3600.0) return false;
    out = v;
    return true;
}

bool applyWatchOption(const std::string& option, const std::string& value, WatchOptions& watch,
                      std::string& error) {
    unsigned long long v = 0;
    if (option == "raw") {
        watch.raw = true;
    } else if (option == "no-subscribe") {
        watch.subscribe = false;
    } else if (option == "host") {
        watch.host = value;
    } else if (option == "port") {
        if (!parseInteger(value, 1, 65535, v)) {
            error = "--port expects 1..65535";
            return false;
        }
        watch.port = (int)v;
    } else if (option == "count") {
        if (!parseInteger(value, 1, 1000000000, v)) {
            error = "--count expects a positive number";
            return false;
        }
        watch.count = (long)v;
    }
    return true;
}

Mode modeOf(const std::string& word) {
    if (word == "list") return Mode::List;
    if (word == "watch") return Mode::Watch;
    if (word == "sim") return Mode::Sim;
    if (word == "help") return Mode::Usage;
    return Mode::Device;
}

}  // namespace

bool parseInvocation(const std::vector<std::string>& args, Invocation& inv, std::string& error) {
    inv.mailbox = kDaemonMailbox;
    bool haveCommand = false;
    FlagList watchOnly;  // checked once the command word is known
    for (size_t k = 0; k < args.size(); k++) {
        const std::string& arg = args[k];
        if (haveCommand && inv.mode == Mode::Sim) {
            // Everything after "sim" belongs to the simulator, except a leading --socket or --help.
            if (inv.sim.words.empty() && arg == "--socket" && k + 1 < args.size())
                inv.sim.socketPath = args[++k];
            else if (inv.sim.words.empty() && (arg == "--help" || arg == "-h"))
                inv.help = true;
            else
                inv.sim.words.push_back(arg);
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            inv.help = true;
            continue;
        }
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (haveCommand) {
                inv.argument.positionals.push_back(arg);
                continue;
            }
            haveCommand = true;
            inv.commandWord = arg;
            inv.mode = modeOf(arg);
            continue;
        }
        std::string option = arg.substr(2), value;
        size_t eq = option.find('=');
        bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = option.substr(eq + 1);
            option.resize(eq);
        }
        bool flag = option == "json" || option == "raw" || option == "no-subscribe" || option == "follow";
        if (flag && inlineValue) {
            error = "--" + option + " takes no value";
            return false;
        }
        if (!flag && !takesValue(option)) {
            error = "unknown option --" + option;
            return false;
        }
        if (!flag && !inlineValue) {
            if (k + 1 >= args.size()) {
                error = "--" + option + " needs a value";
                return false;
            }
            value = args[++k];
        }
        if (option == "json") {
            inv.json = true;
        } else if (option == "follow") {
            inv.follow = true;
        } else if (option == "interval") {
            if (!parseSeconds(value, inv.intervalSeconds)) {
                error = "--interval expects seconds above 0 (at most 3600)";
                return false;
            }
        } else if (option == "timeout") {
            if (!parseSeconds(value, inv.timeoutSeconds)) {
                error = "--timeout expects seconds above 0 (at most 3600)";
                return false;
            }
        } else if (option == "mailbox") {
            inv.mailbox = value;
        } else if (option == "raw" || option == "no-subscribe" || option == "host" || option == "port" ||
                   option == "count") {
            watchOnly.emplace_back(option, value);
        } else if (isScalarOption(option)) {
            inv.argument.scalars.emplace_back(option, value);
        } else {
            inv.argument.structure.emplace_back(option, value);
        }
    }
    if (!watchOnly.empty() && inv.mode != Mode::Watch) {
        error = "--" + watchOnly[0].first + " applies to watch only";
        return false;
    }
    if (inv.follow && inv.mode != Mode::Device) {
        error = "--follow applies to transcode-status only";
        return false;
    }
    for (const auto& [option, value] : watchOnly)
        if (!applyWatchOption(option, value, inv.watch, error)) return false;
    const ArgumentOptions& a = inv.argument;
    if (inv.mode != Mode::Device && (!a.scalars.empty() || !a.structure.empty() || !a.positionals.empty())) {
        error = "'" + inv.commandWord + "' takes no command argument";
        return false;
    }
    return true;
}

const char* usageText() {
    return "Usage:\n"
           "  ztctl [--json] [--timeout SECONDS] [--mailbox NAME] COMMAND [ARGUMENT]\n"
           "  ztctl list                     the command table (id, short name, argument kind, name)\n"
           "  ztctl COMMAND --help           what a command takes and answers\n"
           "  ztctl stop                     stop the daemon (command 89)\n"
           "  ztctl watch [--host H] [--port P] [--raw] [--count N] [--no-subscribe]\n"
           "                                 turn notifications on and print each frame's JSON\n"
           "  ztctl transcode-status --follow [--interval SECONDS] JOB_ID\n"
           "                                 print the job's progress until it ends\n"
           "  ztctl sim [--socket PATH] WORDS...\n"
           "                                 send one line to the camera simulator, print its reply\n"
           "\n"
           "COMMAND is a numeric id (any, even unassigned), a full name (ZTCONTROL_COMMAND_SHUTTER)\n"
           "or a short name (shutter).\n"
           "\n"
           "ARGUMENT (element 66; give it one way only, or not at all):\n"
           "  VALUE                 read by the command's kind: u8, u16, u32 or text\n"
           "  --u8 N | --u16 N | --u32 N   little-endian number (decimal or 0x hex)\n"
           "  --text S              text, sent with its NUL\n"
           "  --hex HEX             raw bytes (\"01 02 ff\", \"0102ff\")\n"
           "  --proto TEXT          protobuf request in text format (\"preset_id: 65537\"); a plain\n"
           "                        value of a protobuf command is read the same way\n"
           "  structure flags       for packed arguments, e.g. set-setting-id --id 2 --value 1;\n"
           "                        'ztctl COMMAND --help' lists them\n"
           "\n"
           "Options:\n"
           "  --json                one JSON object (id, name, result, result_name, payload_hex, decoded)\n"
           "  --timeout SECONDS     wait at most this long for room and for the answer (default 5)\n"
           "  --mailbox NAME        the daemon's mailbox (default /to_ztCtlD)\n"
           "\n"
           "Exit status: 0 result 0; 1 any other result; 2 no response, a malformed response, the\n"
           "daemon not running, or a usage error; 128+N when ended by signal N.\n";
}

std::string commandHelp(uint32_t id, const ZtcontrolCommandInfo* info) {
    std::string text;
    if (!info) {
        text = "id " + std::to_string(id) + " is unassigned: the daemon answers ZT_ERR_NOT_SUPPORTED (-104).\n";
        return text;
    }
    text = std::string(info->name) + " (id " + std::to_string(id) + ", short name " + info->shortName + ")\n";
    text += std::string("argument: ") + ztArgKindName(info->argKind);
    switch (info->argKind) {
        case ZT_ARG_NONE: text += " (an argument given anyway is refused with -3)\n"; break;
        case ZT_ARG_ANY: text += " (not looked at)\n"; break;
        case ZT_ARG_U8:
        case ZT_ARG_U16:
        case ZT_ARG_U32: text += std::string(" -- e.g. 'ztctl ") + info->shortName + " 1'\n"; break;
        case ZT_ARG_TEXT: text += std::string(" -- e.g. 'ztctl ") + info->shortName + " TEXT'\n"; break;
        case ZT_ARG_PROTOBUF:
            text += std::string(" -- ") + presetRequestType(id)->full_name() + " in text format, e.g. 'ztctl " +
                    info->shortName + " --proto \"" + presetRequestExample(id) + "\"'\n";
            break;
        case ZT_ARG_BYTES: text += " (packed structure)\n"; break;
    }
    ArgFamily family = argFamilyOf(id);
    if (family != ArgFamily::None) text += std::string("flags:\n") + argFamilyHelp(family) + "\n";
    if (family == ArgFamily::TranscodeJob) text += "  JOB_ID                      the same as --job-id JOB_ID\n";
    if (id == ZTCONTROL_TRANSCODE_STATUS)
        text += "  --follow [--interval S]     ask again every S seconds (default 0.5) and print each change\n"
                "                              until the job ends (exit 0 done, 1 cancelled, failed or gone)\n";
    text += std::string("answer payload: ") + payloadDescription(id) + "\n";
    return text;
}

}  // namespace ztctl
