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

bool Faults::addDelay(const OpMatch& op, int ms) {
    if (ms > 0) return put(delays_, op, ms);
    for (size_t i = 0; i < delays_.size(); ++i) {
        if (sameOp(delays_[i].op, op)) {
            delays_.erase(delays_.begin() + long(i));
            break;
        }
    }
    return true;
}

void Faults::setNak(int8_t reason, bool every) {
    nak_ = reason;
    nakEvery_ = reason != 0 && every;
}

void Faults::clear() {
    modelUnreadable = false;
    errors_.clear();
    noReply_.clear();
    delays_.clear();
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
    if (nak_) {
        snprintf(buf, sizeof buf, "nak %d%s ", nak_, nakEvery_ ? " all" : "");
        s += buf;
    }
    if (modelUnreadable) s += "model-unreadable ";
    if (!s.empty()) s.pop_back();
    return s;
}

}  // namespace camsim
