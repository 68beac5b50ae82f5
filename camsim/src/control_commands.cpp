// The control channel's commands. Each returns its reply text: one line starting with "ok" or
// "error", or a document (state, ops, help) followed by an empty line.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sstream>
#include <vector>

#include "sim_impl.h"
#include "ztErrno.h"

namespace camsim {

const char* controlHelpText();

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s) w.push_back(s);
    return w;
}

// Bounds and values are 64-bit whatever the width of long, so that every 32-bit value fits.
bool toNumber(const std::string& s, int64_t lo, int64_t hi, int64_t* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 0);
    if (*end || errno || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// A negative number, or a code name such as ZT_ERR_NAK.
bool toErrno(const std::string& s, int64_t* out) {
    if (toNumber(s, INT32_MIN + 1, -1, out)) return true;
    for (int code = -1; code >= -300; --code) {
        if (s == ztErrno2Str(code)) {
            *out = code;
            return true;
        }
    }
    return false;
}

bool onOff(const std::string& s, bool* out) {
    if (s == "on") *out = true;
    else if (s == "off") *out = false;
    else return false;
    return true;
}

std::string ok(const std::string& what = std::string()) { return what.empty() ? "ok\n" : "ok " + what + "\n"; }
std::string err(const std::string& what) { return "error " + what + "\n"; }

}  // namespace

std::string CameraSim::Impl::runCommand(const std::string& line) {
    std::vector<std::string> w = words(line);
    if (w.empty()) return err("empty command (try help)");
    const std::string& c = w[0];
    size_t n = w.size();
    int64_t a = 0, b = 0, width = 1;
    OpMatch op;
    bool flag = false;

    if (c == "help") return std::string(controlHelpText()) + "\n";
    if (c == "state") {
        std::lock_guard<std::mutex> lock(mu);
        return stateJsonLocked() + "\n\n";
    }
    if (c == "ops") {
        if (n > 2 || (n == 2 && !toNumber(w[1], 1, 100000, &a))) return err("usage: ops [N]");
        std::lock_guard<std::mutex> lock(mu);
        return opsJsonLocked(n == 2 ? size_t(a) : 20) + "\n\n";
    }
    if (c == "clear-ops") {
        std::lock_guard<std::mutex> lock(mu);
        ops.clear();
        return ok();
    }
    if (c == "power") {
        if (n != 2 || !onOff(w[1], &flag)) return err("usage: power on|off");
        std::lock_guard<std::mutex> lock(mu);
        model.setPower(flag);
        return ok(std::string("power ") + w[1]);
    }
    if (c == "model-unreadable") {
        if (n != 2 || !onOff(w[1], &flag)) return err("usage: model-unreadable on|off");
        std::lock_guard<std::mutex> lock(mu);
        faults.modelUnreadable = flag;
        return ok();
    }
    if (c == "fault") {
        std::lock_guard<std::mutex> lock(mu);
        if (n == 2 && w[1] == "clear") {
            faults.clear();
            return ok("faults cleared");
        }
        if (n != 3 || !OpMatch::parse(w[1], &op) || !toErrno(w[2], &a)) return err("usage: fault OP ERRNO | fault clear");
        if (!faults.addError(op, int32_t(a))) return err("too many fault rules");
        return ok(op.describe() + " fails with " + std::to_string(a));
    }
    if (c == "nak") {
        if (n == 2 && w[1] == "off") a = 0;
        else if ((n != 2 && !(n == 3 && w[2] == "all")) || !toNumber(w[1], -128, 127, &a)) return err("usage: nak REASON [all] | nak off");
        std::lock_guard<std::mutex> lock(mu);
        faults.setNak(int8_t(a), n == 3);
        return ok();
    }
    if (c == "noreply") {
        std::lock_guard<std::mutex> lock(mu);
        if (n == 2 && w[1] == "off") {
            faults.clearNoReply();
            return ok("replies on");
        }
        if (n != 2 || !OpMatch::parse(w[1] == "all" ? "any" : w[1], &op)) return err("usage: noreply OP|all|off");
        if (!faults.addNoReply(op)) return err("too many noreply rules");
        return ok("no reply to " + op.describe());
    }
    if (c == "delay") {
        if (n != 3 || !OpMatch::parse(w[1] == "all" ? "any" : w[1], &op) || !toNumber(w[2], 0, 60000, &a))
            return err("usage: delay OP MS (0 removes)");
        std::lock_guard<std::mutex> lock(mu);
        if (!faults.addDelay(op, int(a))) return err("too many delay rules");
        return ok();
    }
    if (c == "cut") {
        bool off = n == 3 && w[2] == "off";
        if (n != 3 || !OpMatch::parse(w[1] == "all" ? "any" : w[1], &op) || (!off && !toNumber(w[2], 0, 65535, &a)))
            return err("usage: cut OP BYTES|off");
        std::lock_guard<std::mutex> lock(mu);
        if (!faults.addCut(op, off ? -1 : int(a))) return err("too many cut rules");
        return ok();
    }
    if (c == "set") {
        bool status = n >= 2 && w[1] == "status";
        if (n < 4 || n > 5 || (!status && w[1] != "settings") || !toNumber(w[2], 0, 1000, &a) ||
            !toNumber(w[3], INT32_MIN, UINT32_MAX, &b) || (n == 5 && !toNumber(w[4], 1, 4, &width)))
            return err("usage: set status|settings OFFSET VALUE [WIDTH]");
        std::lock_guard<std::mutex> lock(mu);
        int r = status ? model.writeStatus(int(a), uint32_t(b), int(width)) : model.writeSettings(int(a), uint32_t(b), int(width));
        return r == 0 ? ok() : err("offset or width out of range");
    }
    if (c == "lens") {
        if ((n != 2 && n != 3) || !toNumber(w[1], -128, 127, &a) || (n == 3 && !toNumber(w[2], -128, 127, &b)))
            return err("usage: lens MODE [LENS]");
        std::lock_guard<std::mutex> lock(mu);
        model.setLens(int(a), n == 3 ? int(b) : model.lens());
        return ok();
    }
    if (c == "event") {
        int r = -1;
        if (n == 2 && w[1] == "suspend") r = postEvent(16, "JS", nullptr, 0);
        else if (n == 2 && w[1] == "resume") r = postEvent(16, "JR", nullptr, 0);
        else if (n == 4 && w[1] == "preset-update" && toNumber(w[2], 0, 255, &a) && toNumber(w[3], 0, UINT32_MAX, &b))
            r = presetUpdateEvent(uint8_t(a), uint32_t(b));
        else if (n == 3 && w[1] == "transcode")
            r = transcodeEvent(w[2]);
        else
            return err("usage: event suspend|resume | event preset-update EVENT ID | event transcode ID:STATUS:PROGRESS[:FILE]");
        return r == 0 ? ok("event queued") : err("event not queued (simulator stopped or queue full)");
    }
    return err("unknown command '" + c + "' (try help)");
}

}  // namespace camsim
