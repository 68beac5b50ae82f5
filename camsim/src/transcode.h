// Transcode jobs: accepted with a job id and an estimate, then advancing with simulated time and
// reporting "id:status:progress[:file]" notifications while the daemon is subscribed.
#ifndef CAMSIM_TRANSCODE_H
#define CAMSIM_TRANSCODE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "camsim/camera_sim.h"

namespace camsim {

class EventSink;

class TranscodeEngine {
public:
    explicit TranscodeEngine(int seconds) : seconds_(seconds > 0 ? seconds : 1) {}

    // A request payload of remote 12/5 (video) or 12/6 (photo-to-video, to-photo): the file name
    // and its NUL, then extra bytes. 0 with the id and estimate; -3 for a malformed payload;
    // -101 with a NAK reason when the camera refuses (a job is running: -8).
    int start(const uint8_t* payload, int len, int extra, double now, uint64_t* id, uint32_t* estimate,
              int8_t* nak);
    // 0, or -3 when no unfinished job has the id.
    int cancel(uint64_t id, bool subscribed, EventSink& events);
    void advance(double now, bool subscribed, EventSink& events);
    const std::vector<TranscodeJobInfo>& jobs() const { return jobs_; }

private:
    struct Timing {
        double started = 0;
        int reported = -1;  // last progress sent
    };
    void notify(const TranscodeJobInfo& job, bool subscribed, EventSink& events);

    int seconds_;
    uint64_t nextId_ = 1001;
    unsigned outputNumber_ = 1;
    std::vector<TranscodeJobInfo> jobs_;  // oldest first, at most kKeep
    std::vector<Timing> timing_;
    static constexpr size_t kKeep = 8;
};

}  // namespace camsim

#endif
