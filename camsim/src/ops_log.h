// Bounded log of the operations received, oldest dropped first.
#ifndef CAMSIM_OPS_LOG_H
#define CAMSIM_OPS_LOG_H

#include <stdint.h>

#include <vector>

#include "camsim/camera_sim.h"

namespace camsim {

class OpsLog {
public:
    explicit OpsLog(size_t capacity) : ring_(capacity ? capacity : 1) {}
    // A slot for the next record (its index set); valid until the next call.
    OpRecord& next();
    std::vector<OpRecord> recent(size_t max) const;  // oldest first
    uint64_t total() const { return total_; }
    void clear() { kept_ = 0; }

private:
    std::vector<OpRecord> ring_;
    size_t head_ = 0;  // where the next record goes
    size_t kept_ = 0;
    uint64_t total_ = 0;
};

}  // namespace camsim

#endif
