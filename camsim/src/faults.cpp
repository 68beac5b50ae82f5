#include "faults.h"

#include <stdio.h>
#include <string.h>

namespace camsim {

namespace {

bool sameOp(const OpMatch& a, const OpMatch& b) {
    return a.kind == b.kind && a.category == b.category && a.op == b.op && !strcmp(a.code, b.code) &&
           a.direct == b.direct;
}

}  // namespace

bool Faults::put(std::vector<Rule>& rules, const OpMatch& op, int32_t value) {
    for (Rule& r : rules) {
        if (sameOp(r.op, op)) {
            r.value = value;
            return true;
        }
    }
    if (rules.size() >= kMaxRules) return false;
    rules.push_back(Rule{op, value});
    return true;
}

bool Faults::addError(const OpMatch& op, int32_t err) { return put(errors_, op, err); }

bool Faults::addNoReply(const OpMatch& op) {
    for (const OpMatch& m : noReply_)
        if (sameOp(m, op)) return true;
    if (noReply_.size() >= kMaxRules) return false;
    noReply_.push_back(op);
    return true;
}

bool Faults::remove(std::vector<Rule>& rules, const OpMatch& op) {
    for (size_t i = 0; i < rules.size(); ++i) {
        if (sameOp(rules[i].op, op)) {
            rules.erase(rules.begin() + long(i));
            break;
        }
    }
    return true;
}

bool Faults::addDelay(const OpMatch& op, int ms) { return ms > 0 ? put(delays_, op, ms) : remove(delays_, op); }

bool Faults::addCut(const OpMatch& op, int bytes) { return bytes >= 0 ? put(cuts_, op, bytes) : remove(cuts_, op); }

void Faults::setNak(int8_t reason, bool every) {
    nak_ = reason;
    nakEvery_ = reason != 0 && every;
}

void Faults::clear() {
    modelUnreadable = false;
    errors_.clear();
    noReply_.clear();
    delays_.clear();
    cuts_.clear();
    nak_ = 0;
    nakEvery_ = false;
}

bool Faults::errorFor(const OpId& id, int32_t* err) const {
    // The most specific rule wins: rules for one operation before "any".
    const Rule* chosen = nullptr;
    for (const Rule& r : errors_) {
        if (!r.op.matches(id)) continue;
        if (!chosen || chosen->op.kind == OpKind::Any) chosen = &r;
    }
    if (!chosen) return false;
    *err = chosen->value;
    return true;
}

bool Faults::dropFor(const OpId& id) const {
    for (const OpMatch& m : noReply_)
        if (m.matches(id)) return true;
    return false;
}

int Faults::delayFor(const OpId& id) const {
    int ms = 0;
    for (const Rule& r : delays_)
        if (r.op.matches(id) && (ms == 0 || r.op.kind != OpKind::Any)) ms = r.value;
    return ms;
}

int Faults::cutFor(const OpId& id) const {
    int bytes = -1;
    for (const Rule& r : cuts_)
        if (r.op.matches(id) && (bytes < 0 || r.op.kind != OpKind::Any)) bytes = r.value;
    return bytes;
}

int8_t Faults::takeNak() {
    int8_t reason = nak_;
    if (!nakEvery_) nak_ = 0;
    return reason;
}

std::string Faults::describe() const {
    std::string s;
    char buf[64];
    for (const Rule& r : errors_) {
        snprintf(buf, sizeof buf, "fault %s=%d ", r.op.describe().c_str(), r.value);
        s += buf;
    }
    for (const OpMatch& m : noReply_) s += "noreply " + m.describe() + " ";
    for (const Rule& r : delays_) {
        snprintf(buf, sizeof buf, "delay %s=%dms ", r.op.describe().c_str(), r.value);
        s += buf;
    }
    for (const Rule& r : cuts_) {
        snprintf(buf, sizeof buf, "cut %s=%dB ", r.op.describe().c_str(), r.value);
        s += buf;
    }
    if (nak_) {
        snprintf(buf, sizeof buf, "nak %d%s ", nak_, nakEvery_ ? " all" : "");
        s += buf;
    }
    if (modelUnreadable) s += "model-unreadable ";
    if (!s.empty()) s.pop_back();
    return s;
}

}  // namespace camsim
