// Injected faults: failing operations, NAK reasons, dropped, delayed and cut replies, an
// unreadable model number. Guarded by the simulator's state lock.
#ifndef CAMSIM_FAULTS_H
#define CAMSIM_FAULTS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "camsim/op_match.h"

namespace camsim {

class Faults {
public:
    static constexpr size_t kMaxRules = 16;

    bool modelUnreadable = false;

    // False when the rule table is full. A later rule for the same operation replaces it.
    bool addError(const OpMatch& op, int32_t err);
    bool addNoReply(const OpMatch& op);
    bool addDelay(const OpMatch& op, int ms);  // ms 0 removes the rule
    bool addCut(const OpMatch& op, int bytes);  // bytes < 0 removes the rule
    void clearNoReply() { noReply_.clear(); }
    void setNak(int8_t reason, bool every);
    void clear();

    bool errorFor(const OpId& id, int32_t* err) const;
    bool dropFor(const OpId& id) const;
    int delayFor(const OpId& id) const;
    // The most bytes a successful answer may keep, or -1 when it is not cut.
    int cutFor(const OpId& id) const;
    // The NAK reason to put in a failing reply (0 when none); a one-shot reason is used up.
    int8_t takeNak();

    // "fault 8/11=-101 nak=-9(every) noreply=any delay=AP:500ms" style summary for the state.
    std::string describe() const;
    struct Rule {
        OpMatch op;
        int32_t value;
    };
    const std::vector<Rule>& errors() const { return errors_; }
    const std::vector<OpMatch>& noReply() const { return noReply_; }
    const std::vector<Rule>& delays() const { return delays_; }
    const std::vector<Rule>& cuts() const { return cuts_; }
    int8_t nakReason() const { return nak_; }
    bool nakEvery() const { return nakEvery_; }

private:
    static bool put(std::vector<Rule>& rules, const OpMatch& op, int32_t value);
    static bool remove(std::vector<Rule>& rules, const OpMatch& op);
    std::vector<Rule> errors_;
    std::vector<OpMatch> noReply_;
    std::vector<Rule> delays_;
    std::vector<Rule> cuts_;
    int8_t nak_ = 0;
    bool nakEvery_ = false;
};

}  // namespace camsim

#endif
