// The record of one transcode job: kept in the server's history and returned by the transcode
// commands, so its layout is a wire format (native byte order).
#ifndef TRANSCODE_JOB_H
#define TRANSCODE_JOB_H

#include <stddef.h>
#include <stdint.h>

#include <string>

constexpr size_t TRANSCODE_NAME_FIELD = 257;

struct TranscodeJob {
    char sourceFileName[TRANSCODE_NAME_FIELD];
    uint8_t reserved0[7];
    uint64_t transcode_id;
    uint32_t status;
    int32_t failureReason;
    uint32_t completionEstimate;
    uint32_t progress;
    char filename[TRANSCODE_NAME_FIELD];
    uint8_t reserved1[7];
};

static_assert(sizeof(TranscodeJob) == 552, "transcode record is 552 bytes");
static_assert(offsetof(TranscodeJob, transcode_id) == 264, "transcode_id at 264");
static_assert(offsetof(TranscodeJob, status) == 272, "status at 272");
static_assert(offsetof(TranscodeJob, failureReason) == 276, "failure reason at 276");
static_assert(offsetof(TranscodeJob, completionEstimate) == 280, "estimate at 280");
static_assert(offsetof(TranscodeJob, progress) == 284, "progress at 284");
static_assert(offsetof(TranscodeJob, filename) == 288, "output name at 288");

class ZtcontrolCommandServer;

// Job status values: a job starts at 0; 2 (done, with the output name), 3 and 4 are final. A
// refused request answers a record in status 4 that is not kept.
constexpr uint32_t TRANSCODE_STATUS_STARTED = 0;
constexpr uint32_t TRANSCODE_STATUS_DONE = 2;
constexpr uint32_t TRANSCODE_STATUS_CANCELLED = 3;
constexpr uint32_t TRANSCODE_STATUS_FAILED = 4;

// Updates the newest job from a CSI notification text ("id:status:progress[:file]"); true when it
// did (transcode_tracker.cpp).
bool handleTranscodeNotification(ZtcontrolCommandServer* server, const std::string& text);

// Appends an accepted job to the history, which keeps the two newest.
void keepTranscodeJob(ZtcontrolCommandServer* server, const TranscodeJob& job);

#endif
