#include "ops_log.h"

namespace camsim {

OpRecord& OpsLog::next() {
    OpRecord& r = ring_[head_];
    head_ = (head_ + 1) % ring_.size();
    if (kept_ < ring_.size()) ++kept_;
    r.index = ++total_;
    r.payload.clear();  // keeps its capacity
    r.replyTo.clear();
    r.id = OpId();
    r.sequence = 0;
    r.result = 0;
    r.nak = 0;
    r.answerLen = 0;
    r.outcome = OpOutcome::Replied;
    return r;
}

std::vector<OpRecord> OpsLog::recent(size_t max) const {
    size_t n = (max == 0 || max > kept_) ? kept_ : max;
    std::vector<OpRecord> out;
    out.reserve(n);
    size_t start = (head_ + ring_.size() - n) % ring_.size();
    for (size_t i = 0; i < n; ++i) out.push_back(ring_[(start + i) % ring_.size()]);
    return out;
}

}  // namespace camsim
