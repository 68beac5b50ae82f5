// Transcode commands against a scripted camera: the request payloads of the three request
// structures, the camera's answer (well-formed, short, refused), the two-job history, status,
// cancel and the refused arguments.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "transcode/transcode_job.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

constexpr size_t kRecord = sizeof(TranscodeJob);
const Bytes kNoRecord(kRecord, 0);

// A request argument: the name from byte 0 (not cut to its field) and words at 260 + 4 * i.
Bytes requestArg(const std::string& name, const std::vector<uint32_t>& words) {
    Bytes arg(260 + 4 * words.size(), 0);
    if (arg.size() < name.size() + 1) arg.resize(name.size() + 1, 0);
    memcpy(arg.data(), name.data(), name.size());
    // A long name runs into the words; the words win where they overlap.
    for (size_t i = 0; i < words.size(); ++i) putLe32(arg, 260 + 4 * i, words[i]);
    return arg;
}

Bytes jobIdArg(uint64_t id) { return cat(u32Arg((uint32_t)id), u32Arg((uint32_t)(id >> 32))); }

Bytes be(uint64_t v, int width) {
    Bytes out;
    for (int i = width - 1; i >= 0; --i) out.push_back((uint8_t)(v >> (8 * i)));
    return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes bytesOf(const TranscodeJob& job) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&job);
    return Bytes(p, p + kRecord);
}

// A job record as answered and kept: the name cut to its field, everything not given zero.
Bytes record(const std::string& name, uint64_t id, uint32_t estimate, uint32_t status = 0, int32_t reason = 0) {
    TranscodeJob job;
    memset(&job, 0, sizeof(job));
    memcpy(job.sourceFileName, name.data(), std::min(name.size(), sizeof(job.sourceFileName)));
    job.transcode_id = id;
    job.status = status;
    job.failureReason = reason;
    job.completionEstimate = estimate;
    return bytesOf(job);
}

CamReply started(uint64_t id, uint32_t estimate) { return cameraAnswer(join({be(id, 8), be(estimate, 4)})); }

const std::vector<uint32_t> kElevenWords = {0x11111101, 0x22222202, 0x33333303, 0x44444404,
                                            0x55555505, 0x66666606, 0x77777707, 0x88888808,
                                            0x99999909, 0xAAAAAA0A, 0xBBBBBB0B};

class TranscodeCommandsTest : public ::testing::Test {
protected:
    // Starts a video job the camera accepts with this id and an estimate of 30 s.
    Reply startVideo(uint64_t id, const std::string& name = "DCIM/100ZTCAM/ZT010001.MP4") {
        f.scriptRemote(12, 5, started(id, 30));
        return f.command(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, requestArg(name, kElevenWords));
    }
    FakeCameraServer f;
};

TEST_F(TranscodeCommandsTest, RequestPayloadsPlaceTheWordsByTheTable) {
    const std::string name = "DCIM/A.MP4";
    const Bytes nameAndNul = join({chars(name), Bytes{0}});
    // Low bytes of words 264, 268, 260, 272, 276, then words 280..300 big-endian.
    const Bytes video =
        join({nameAndNul, Bytes{0x02, 0x03, 0x01, 0x04, 0x05}, be(0x66666606, 4), be(0x77777707, 4),
              be(0x88888808, 4), be(0x99999909, 4), be(0xAAAAAA0A, 4), be(0xBBBBBB0B, 4)});
    struct Case {
        uint32_t id;
        uint8_t op;
        size_t words;
        Bytes payload;
        const char* trace;
        const char* startedLine;
    };
    const Case cases[] = {
        {ZTCONTROL_TRANSCODE_VIDEO_REQUEST, 5, 11, video, "ZTCONTROL_TRANSCODE_VIDEO_REQUEST:",
         "Transcode started, id=1001, completion estimation:30 seconds."},
        {ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST, 6, 3,
         join({nameAndNul, Bytes{0x01}, be(0x22222202, 4), Bytes{0x03}}),
         "ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:",
         "Transcode photo_to_video started, id=1001, completion estimation:30 seconds."},
        {ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, 6, 3, join({nameAndNul, Bytes{0x01, 0x02}, be(0x33333303, 4)}),
         "ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST:",
         "Transcode photo_to_video started, id=1001, completion estimation:30 seconds."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        f.clearRequests();
        f.log().clear();
        f.scriptRemote(12, c.op, started(1001, 30));
        const std::vector<uint32_t> words(kElevenWords.begin(), kElevenWords.begin() + (long)c.words);
        Reply r = f.command(c.id, requestArg(name, words));
        EXPECT_EQ(r.result, ZT_OK);
        ASSERT_EQ(f.requests("RA").size(), 1u);
        EXPECT_EQ(f.requests("RA")[0].args, join({Bytes{12, c.op}, c.payload}));
        EXPECT_TRUE(f.log().contains(c.trace, UTIL_LOG_DEBUG));
        EXPECT_TRUE(f.log().contains(c.startedLine, UTIL_LOG_DEBUG));
        EXPECT_EQ(r.payload, record(name, 1001, 30));
    }
}

TEST_F(TranscodeCommandsTest, HistoryKeepsTheLastTwoOldestFirst) {
    Reply h = f.command(ZTCONTROL_TRANSCODE_HISTORY);
    EXPECT_EQ(h.result, ZT_OK);
    EXPECT_EQ(h.payload, join({kNoRecord, kNoRecord}));
    ASSERT_EQ(startVideo(7001, "first.MP4").result, ZT_OK);
    EXPECT_EQ(f.command(ZTCONTROL_TRANSCODE_HISTORY).payload, join({record("first.MP4", 7001, 30), kNoRecord}));
    ASSERT_EQ(startVideo(7002, "second.MP4").result, ZT_OK);
    ASSERT_EQ(startVideo(7003, "third.MP4").result, ZT_OK);
    ASSERT_EQ(f.server()->transcodeJobs.size(), 2u);
    EXPECT_EQ(f.command(ZTCONTROL_TRANSCODE_HISTORY).payload,
              join({record("second.MP4", 7002, 30), record("third.MP4", 7003, 30)}));
    // An argument where none is taken is refused.
    EXPECT_EQ(f.command(ZTCONTROL_TRANSCODE_HISTORY, Bytes{1}).result, ZT_ERR_INVALID_PARAM);
}

// Status and cancel find only the newest job; status asks the camera nothing, cancel sends 12/3
// with the id big-endian and answers the camera's result. Neither changes a record.
TEST_F(TranscodeCommandsTest, StatusAndCancelMatchOnlyTheNewestJob) {
    const uint64_t newest = 0x0102030405060708ull;
    ASSERT_EQ(startVideo(7001).result, ZT_OK);
    ASSERT_EQ(startVideo(newest).result, ZT_OK);
    const Bytes newestRecord = record("DCIM/100ZTCAM/ZT010001.MP4", newest, 30);
    f.clearRequests();
    f.scriptRemote(12, 3, cameraError(ZT_ERR_INVALID_PARAM));
    for (uint32_t command : {ZTCONTROL_TRANSCODE_STATUS, ZTCONTROL_TRANSCODE_CANCEL}) {
        SCOPED_TRACE(command);
        const int32_t matched = command == ZTCONTROL_TRANSCODE_STATUS ? ZT_OK : ZT_ERR_INVALID_PARAM;
        Reply r = f.command(command, jobIdArg(newest));
        EXPECT_EQ(r.result, matched);
        EXPECT_EQ(r.payload, newestRecord);
        for (uint64_t id : {7001ull, 0ull}) {  // the older job, none
            r = f.command(command, jobIdArg(id));
            EXPECT_EQ(r.result, ZT_ERR_INVALID_PARAM) << id;
            EXPECT_EQ(r.payload, kNoRecord) << id;
        }
    }
    EXPECT_TRUE(f.log().contains("ZTCONTROL_TRANSCODE_STATUS:", UTIL_LOG_DEBUG));
    EXPECT_TRUE(f.log().contains("ZTCONTROL_TRANSCODE_CANCEL:", UTIL_LOG_DEBUG));
    ASSERT_EQ(f.requests("RA").size(), 3u);
    EXPECT_EQ(f.requests("RA")[0].args, (Bytes{12, 3, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(f.server()->transcodeJobs.size(), 2u);
    EXPECT_EQ(bytesOf(f.server()->transcodeJobs.back()), newestRecord);
}

TEST_F(TranscodeCommandsTest, RefusedRequestAnswersAFailedRecordAndKeepsNothing) {
    ASSERT_EQ(startVideo(7001).result, ZT_OK);
    const std::pair<int8_t, int32_t> nakReasons[] = {{-7, -1}, {-8, -2}, {-9, -3}, {-10, -4}, {-6, -256}, {0, -256}};
    for (const auto& [nak, reason] : nakReasons) {
        for (uint32_t id : {ZTCONTROL_TRANSCODE_VIDEO_REQUEST, ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST}) {
            SCOPED_TRACE("nak " + std::to_string(nak) + " command " + std::to_string(id));
            f.log().clear();
            CamReply refused = cameraError(ZT_ERR_NAK);
            refused.nakReason = nak;
            f.scriptRemote(12, id == ZTCONTROL_TRANSCODE_VIDEO_REQUEST ? 5 : 6, refused);
            Reply r = f.command(id, requestArg("DCIM/B.MP4", kElevenWords));
            EXPECT_EQ(r.result, ZT_ERR_NAK);
            EXPECT_EQ(r.payload, record("DCIM/B.MP4", 0, 0, TRANSCODE_STATUS_FAILED, reason));
            EXPECT_TRUE(f.log().contains("Got a NAK on transcode request", UTIL_LOG_ERROR));
            const std::string failed = "Transcode on DCIM/B.MP4 FAILED. Failure reason:" + std::to_string(reason);
            EXPECT_EQ(f.log().contains(failed, UTIL_LOG_ERROR), id == ZTCONTROL_TRANSCODE_VIDEO_REQUEST);
        }
    }
    ASSERT_EQ(f.server()->transcodeJobs.size(), 1u);
    EXPECT_EQ(f.server()->transcodeJobs.back().transcode_id, 7001u);
}

// The name is cut to 256 characters in the request and to its 257-byte field in the record.
TEST_F(TranscodeCommandsTest, LongNameIsCutInRequestAndRecord) {
    const std::string name(300, 'n');
    Reply r = startVideo(7001, name);
    ASSERT_EQ(r.result, ZT_OK);
    const Bytes sent = f.requests("RA")[0].args;
    ASSERT_EQ(sent.size(), 2u + 256 + 30);
    EXPECT_EQ(std::string(sent.begin() + 2, sent.begin() + 2 + 256), std::string(256, 'n'));
    EXPECT_EQ(sent[2 + 256], 0);
    EXPECT_EQ(r.payload, record(name, 7001, 30));
    EXPECT_EQ(bytesOf(f.server()->transcodeJobs.back()), r.payload);
}

TEST_F(TranscodeCommandsTest, AnswerOfAnotherSizeStartsAJobWithIdZero) {
    // The reply, and the size line it logs (null: none).
    const std::pair<CamReply, const char*> cases[] = {
        {cameraAnswer(be(7001, 8)), "Invalid response size 8 expected 12"},
        {cameraAnswer(join({started(7001, 5).answer, Bytes{0}})), "Invalid response size 13 expected 12"},
        {cameraAnswer({}), nullptr}};
    for (const auto& [reply, sizeLine] : cases) {
        SCOPED_TRACE(reply.answer.size());
        f.log().clear();
        f.scriptRemote(12, 5, reply);
        Reply r = f.command(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, requestArg("C.MP4", kElevenWords));
        EXPECT_EQ(r.result, ZT_OK);
        EXPECT_EQ(r.payload, record("C.MP4", 0, 0));
        EXPECT_EQ(bytesOf(f.server()->transcodeJobs.back()), r.payload);
        if (sizeLine) {
            EXPECT_TRUE(f.log().contains(sizeLine, UTIL_LOG_ERROR));
        }
        EXPECT_EQ(f.log().countContaining("Invalid response size"), sizeLine ? 1u : 0u);
        EXPECT_TRUE(f.log().contains("Transcode started, id=0, completion estimation:0 seconds.", UTIL_LOG_DEBUG));
    }
}

TEST_F(TranscodeCommandsTest, MissingOrShortArgumentsAreRefusedWithTheirTexts) {
    struct Case {
        uint32_t id;
        std::optional<Bytes> arg;
        const char* text;
    };
    const char* kArguments = "Invalid parameter, expected arguments";
    const Case cases[] = {
        {ZTCONTROL_TRANSCODE_VIDEO_REQUEST, std::nullopt, kArguments},
        {ZTCONTROL_TRANSCODE_VIDEO_REQUEST, Bytes(303, 0), kArguments},
        {ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST, std::nullopt, kArguments},
        {ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, Bytes(271, 0), kArguments},
        {ZTCONTROL_TRANSCODE_STATUS, std::nullopt, "Invalid parameter, expected transcode_id"},
        {ZTCONTROL_TRANSCODE_STATUS, Bytes(7, 0), "Invalid parameter, expected transcode_id"},
        {ZTCONTROL_TRANSCODE_CANCEL, std::nullopt, "Invalid parameter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        f.log().clear();
        Reply r = f.command(c.id, c.arg);
        EXPECT_EQ(r.result, ZT_ERR_INVALID_PARAM);
        EXPECT_FALSE(r.hasPayload);
        EXPECT_TRUE(f.log().contains(c.text, UTIL_LOG_ERROR));
    }
    EXPECT_TRUE(f.requests("RA").empty());
    EXPECT_TRUE(f.server()->transcodeJobs.empty());
}

}  // namespace
