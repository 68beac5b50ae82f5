// Transcode commands: start a job (video, photo-to-video, frame-to-photo), its status, cancel it,
// and the history of the last two jobs. Every answer carries job records.
#include <string.h>

#include "commands/command_family.h"
#include "server/ztcontrol_if_server.h"
#include "transcode/transcode_job.h"
#include "util/log_text.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

constexpr uint8_t kTranscodeCategory = 12;
constexpr uint8_t kVideoOp = 5;
constexpr uint8_t kPhotoOp = 6;
constexpr uint8_t kCancelOp = 3;

// Request argument: the file name in a 260-byte field, then little-endian words.
constexpr size_t kArgumentWords = 260;
constexpr uint16_t kVideoArgument = 304;
constexpr uint16_t kShortArgument = 272;
constexpr uint16_t kJobIdArgument = 8;
constexpr size_t kMaxRequestName = 256;

// The camera answers an accepted job with its id (64-bit) and estimate (32-bit), big-endian.
constexpr uint16_t kStartAnswer = 12;

constexpr const char* kRequestRefusal = "Invalid parameter, expected arguments";
constexpr const char* kStatusRefusal = "Invalid parameter, expected transcode_id";

// Where one argument word goes in the camera's request: its low byte, or all of it big-endian.
struct WordPlacement {
    uint16_t argumentOffset;
    uint8_t width;  // 1 or 4
};

struct RequestKind {
    const char* trace;
    const char* startedLine;
    uint8_t op;
    bool logsFailure;  // the video request also logs the source and reason of a refusal
    const WordPlacement* words;
    size_t wordCount;
};

const WordPlacement kVideoWords[] = {{264, 1}, {268, 1}, {260, 1}, {272, 1}, {276, 1}, {280, 4},
                                     {284, 4}, {288, 4}, {292, 4}, {296, 4}, {300, 4}};
const WordPlacement kPhotoToVideoWords[] = {{260, 1}, {264, 4}, {268, 1}};
const WordPlacement kToPhotoWords[] = {{260, 1}, {264, 1}, {268, 4}};

const RequestKind kVideoRequest = {"ZTCONTROL_TRANSCODE_VIDEO_REQUEST:",
                                   "Transcode started, id=%lld, completion estimation:%d seconds.", kVideoOp, true,
                                   kVideoWords, sizeof(kVideoWords) / sizeof(kVideoWords[0])};
const RequestKind kPhotoToVideoRequest = {
    "ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:",
    "Transcode photo_to_video started, id=%lld, completion estimation:%d seconds.", kPhotoOp, false,
    kPhotoToVideoWords, sizeof(kPhotoToVideoWords) / sizeof(kPhotoToVideoWords[0])};
const RequestKind kToPhotoRequest = {
    "ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST:",
    "Transcode photo_to_video started, id=%lld, completion estimation:%d seconds.", kPhotoOp, false,
    kToPhotoWords, sizeof(kToPhotoWords) / sizeof(kToPhotoWords[0])};

void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (24 - 8 * i));
}

void putBe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = (uint8_t)(v >> (56 - 8 * i));
}

uint64_t readBe(const uint8_t* p, int width) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | p[i];
    return v;
}

uint64_t readLe64(const uint8_t* p) { return (uint64_t)readLe32(p) | (uint64_t)readLe32(p + 4) << 32; }

// The camera's reason of its last refusal, as the record's failure reason.
int32_t failureReasonOf(int8_t nakReason) {
    switch (nakReason) {
        case -7: return -1;
        case -8: return -2;
        case -9: return -3;
        case -10: return -4;
        default: return -256;
    }
}

// The record is the answer's payload (a copy in the scratch area).
int32_t answerRecord(CommandContext& c, int32_t result, const TranscodeJob& job) {
    static_assert(sizeof(TranscodeJob) <= COMMAND_SCRATCH_SIZE, "a record fits the scratch area");
    memcpy(c.scratch, &job, sizeof(job));
    c.payload = c.scratch;
    c.payloadLength = sizeof(job);
    return result;
}

// The newest kept job when it has this id; null otherwise.
const TranscodeJob* newestJobWithId(const CommandContext& c, uint64_t id) {
    const auto& jobs = c.server->transcodeJobs;
    if (jobs.empty() || jobs.back().transcode_id != id) return nullptr;
    return &jobs.back();
}

int32_t startTranscode(CommandContext& c, const RequestKind& kind) {
    const uint8_t* arg = argumentBytes(c);
    TranscodeJob job;
    memset(&job, 0, sizeof(job));
    memcpy(job.sourceFileName, arg, sizeof(job.sourceFileName));

    // The request is built in the scratch area, which holds the answer only after the call.
    uint8_t* request = c.scratch;
    memset(request, 0, COMMAND_SCRATCH_SIZE);
    const size_t n = strnlen(reinterpret_cast<const char*>(arg), kMaxRequestName);
    memcpy(request, arg, n);
    size_t at = n + 1;
    for (size_t i = 0; i < kind.wordCount; ++i) {
        const uint32_t word = readLe32(arg + kind.words[i].argumentOffset);
        if (kind.words[i].width == 1) {
            request[at] = (uint8_t)word;
        } else {
            putBe32(request + at, word);
        }
        at += kind.words[i].width;
    }

    ZTLOG(UTIL_LOG_DEBUG, "%s", kind.trace);
    uint8_t* answer = nullptr;
    uint16_t answerLength = 0;
    const int32_t result = ztc_send_remote_api_payload_response(&g_ztcContext, kTranscodeCategory, kind.op, request,
                                                                (uint16_t)at, &answer, &answerLength);
    if (result != ZT_OK) {
        ZTLOG(UTIL_LOG_ERROR, "Got a NAK on transcode request");
        job.status = TRANSCODE_STATUS_FAILED;
        job.failureReason = failureReasonOf(g_ztcContext.lastNakReason);
        // The source field may hold 257 characters without a terminator; it is the requester's text.
        if (kind.logsFailure)
            ZTLOG(UTIL_LOG_ERROR, "Transcode on %s FAILED. Failure reason:%d",
                  LogText(job.sourceFileName, sizeof(job.sourceFileName)).c_str(), (int)job.failureReason);
        return answerRecord(c, result, job);
    }
    if (answer && answerLength) {
        if (answerLength == kStartAnswer) {
            job.transcode_id = readBe(answer, 8);
            job.completionEstimate = (uint32_t)readBe(answer + 8, 4);
        } else {
            ZTLOG(UTIL_LOG_ERROR, "Invalid response size %d expected %d", (int)answerLength, (int)kStartAnswer);
        }
    }
    ZTLOG(UTIL_LOG_DEBUG, kind.startedLine, (long long)job.transcode_id, (int)job.completionEstimate);
    job.status = TRANSCODE_STATUS_STARTED;
    job.failureReason = 0;
    keepTranscodeJob(c.server, job);
    return answerRecord(c, ZT_OK, job);
}

int32_t transcodeStatus(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_TRANSCODE_STATUS:");
    const TranscodeJob* job = newestJobWithId(c, readLe64(argumentBytes(c)));
    if (job) return answerRecord(c, ZT_OK, *job);
    TranscodeJob none;
    memset(&none, 0, sizeof(none));
    return answerRecord(c, ZT_ERR_INVALID_PARAM, none);
}

int32_t transcodeCancel(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_TRANSCODE_CANCEL:");
    const uint64_t id = readLe64(argumentBytes(c));
    uint8_t request[8];
    putBe64(request, id);
    const int32_t result =
        ztc_send_remote_api_payload(&g_ztcContext, kTranscodeCategory, kCancelOp, request, sizeof(request));
    TranscodeJob record;
    memset(&record, 0, sizeof(record));
    if (const TranscodeJob* job = newestJobWithId(c, id)) record = *job;
    return answerRecord(c, result, record);
}

int32_t transcodeHistory(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_TRANSCODE_HISTORY:");
    constexpr size_t kSlots = 2;
    static_assert(kSlots * sizeof(TranscodeJob) <= COMMAND_SCRATCH_SIZE, "the history fits the scratch area");
    memset(c.scratch, 0, kSlots * sizeof(TranscodeJob));
    const auto& jobs = c.server->transcodeJobs;
    const size_t n = jobs.size() < kSlots ? jobs.size() : kSlots;
    for (size_t slot = 0; slot < n; ++slot)
        memcpy(c.scratch + slot * sizeof(TranscodeJob), &jobs[jobs.size() - n + slot], sizeof(TranscodeJob));
    c.payload = c.scratch;
    c.payloadLength = (uint16_t)(kSlots * sizeof(TranscodeJob));
    return ZT_OK;
}

// Arguments shorter than the structure the handler reads are refused with the same text as a
// missing one.
const CommandBinding kBindings[] = {
    {ZTCONTROL_TRANSCODE_HISTORY, transcodeHistory, 0, nullptr},
    {ZTCONTROL_TRANSCODE_VIDEO_REQUEST, [](CommandContext& c) { return startTranscode(c, kVideoRequest); },
     kVideoArgument, kRequestRefusal},
    {ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST,
     [](CommandContext& c) { return startTranscode(c, kPhotoToVideoRequest); }, kShortArgument, kRequestRefusal},
    {ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, [](CommandContext& c) { return startTranscode(c, kToPhotoRequest); },
     kShortArgument, kRequestRefusal},
    {ZTCONTROL_TRANSCODE_STATUS, transcodeStatus, kJobIdArgument, kStatusRefusal},
    {ZTCONTROL_TRANSCODE_CANCEL, transcodeCancel, kJobIdArgument, nullptr},
};

static_assert(kArgumentWords + 11 * 4 == kVideoArgument, "eleven words follow the name field");
static_assert(kArgumentWords + 3 * 4 == kShortArgument, "three words follow the name field");

}  // namespace

const CommandFamily kTranscodeCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
