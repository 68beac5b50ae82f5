// The transcode notification grammar and its effect on the newest job, run directly on the
// server's history (no camera exchange).
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "transcode/transcode_job.h"
#include "ztLog.h"

namespace {

const char* kUnrelated = "Got CSI Notifications for transcode that are unrelated to us. Ignoring!";

TranscodeJob job(uint64_t id, uint32_t status = 0, const char* output = "") {
    TranscodeJob j;
    memset(&j, 0, sizeof(j));
    strcpy(j.sourceFileName, "DCIM/SRC.MP4");
    j.transcode_id = id;
    j.status = status;
    j.completionEstimate = 30;
    strcpy(j.filename, output);
    return j;
}

bool sameRecord(const TranscodeJob& a, const TranscodeJob& b) { return memcmp(&a, &b, sizeof(a)) == 0; }

class TranscodeTrackerTest : public ::testing::Test {
protected:
    bool notify(const std::string& text) { return handleTranscodeNotification(f.server(), text); }
    TranscodeJob& newest() { return f.server()->transcodeJobs.back(); }
    FakeCameraServer f;
};

// Texts that leave the newest job (id 42, running) unchanged, with the error line they log.
TEST_F(TranscodeTrackerTest, TextsThatDoNotUpdateTheJob) {
    struct Case {
        const char* text;
        const char* error;  // null: nothing at level 2 or 3
    };
    const Case cases[] = {
        {"", nullptr},
        {"42", nullptr},
        {"42:1", nullptr},
        {"42:1:", nullptr},
        {"42:2:100", nullptr},   // done without its output name
        {"42:2:100:", nullptr},  // the same, with the colon
        {"41:1:37", nullptr},    // another job: the caller logs
        {"x:1:37", "Error parsing id from x:1:37"},
        {"-", "Error parsing id from -"},
        {"42::37", "Error parsing status from 42::37"},
        {"42:99999999999:37", "Error parsing status from 42:99999999999:37"},
        {"42:1: %", "Error parsing progress from 42:1: %"},
        {"42:2:100: \t", "Error parsing filename from 42:2:100: \t"},
        {"42:2:100::B.MP4", "Error parsing filename from 42:2:100::B.MP4"},
    };
    f.server()->transcodeJobs.push_back(job(42, 1));
    const TranscodeJob before = newest();
    for (const Case& c : cases) {
        f.log().clear();
        EXPECT_FALSE(notify(c.text)) << c.text;
        EXPECT_TRUE(sameRecord(newest(), before)) << c.text;
        size_t problems = 0;
        for (const LogLine& line : f.log().lines()) problems += line.level <= UTIL_LOG_WARN;
        EXPECT_EQ(problems, c.error ? 1u : 0u) << c.text;
        if (c.error) {
            EXPECT_TRUE(f.log().contains(c.error, UTIL_LOG_ERROR)) << c.text;
        }
    }
}

TEST_F(TranscodeTrackerTest, ProgressThenDoneWithTheOutputNameThenFrozen) {
    f.server()->transcodeJobs.push_back(job(42));
    ASSERT_TRUE(notify("42:1:37"));
    EXPECT_EQ(newest().status, 1u);
    EXPECT_EQ(newest().progress, 37u);
    EXPECT_TRUE(f.log().contains("Parsed id 42 from 42:1:37", UTIL_LOG_DEBUG));
    EXPECT_TRUE(f.log().contains("Parsed status 1 from 42:1:37", UTIL_LOG_DEBUG));
    EXPECT_TRUE(f.log().contains("Parsed progress 37 from 42:1:37", UTIL_LOG_DEBUG));
    TranscodeJob expected = job(42, 1);
    expected.progress = 37;
    EXPECT_TRUE(sameRecord(newest(), expected));

    // Blanks before a number and characters after it inside the field are ignored.
    ASSERT_TRUE(notify(" 42 : 1x: 50%"));
    EXPECT_EQ(newest().progress, 50u);

    const char* done = "42:2:100:DCIM\\100ZTCAM\\ZTTC0001.MP4 trailing:more";
    ASSERT_TRUE(notify(done));
    EXPECT_EQ(newest().status, 2u);
    EXPECT_EQ(newest().progress, 100u);
    EXPECT_STREQ(newest().filename, "DCIM/100ZTCAM/ZTTC0001.MP4");
    for (size_t i = strlen(newest().filename); i < sizeof(newest().filename); ++i) ASSERT_EQ(newest().filename[i], 0);
    EXPECT_TRUE(f.log().contains(std::string("Parsed filename DCIM\\100ZTCAM\\ZTTC0001.MP4 from ") + done,
                                 UTIL_LOG_DEBUG));
    EXPECT_TRUE(f.log().contains("Updating status for Id:42", UTIL_LOG_DEBUG));

    const TranscodeJob frozen = newest();
    f.log().clear();
    EXPECT_FALSE(notify("42:1:10"));
    EXPECT_TRUE(f.log().contains(kUnrelated, UTIL_LOG_WARN));
    EXPECT_TRUE(sameRecord(newest(), frozen));
}

TEST_F(TranscodeTrackerTest, FinalStatusesWithoutANameReadNoFourthField) {
    for (uint32_t status : {3u, 4u}) {
        f.server()->transcodeJobs.clear();
        f.server()->transcodeJobs.push_back(job(42, 1, "OLD.MP4"));
        const std::string text = "42:" + std::to_string(status) + ":80:NEW.MP4";
        ASSERT_TRUE(notify(text));
        EXPECT_EQ(newest().status, status);
        EXPECT_EQ(newest().progress, 80u);
        EXPECT_STREQ(newest().filename, "OLD.MP4");
        EXPECT_FALSE(notify("42:1:90"));
    }
}

TEST_F(TranscodeTrackerTest, OnlyTheNewestJobIsMatched) {
    EXPECT_FALSE(notify("42:1:37"));
    EXPECT_TRUE(f.log().contains(kUnrelated, UTIL_LOG_WARN));

    f.server()->transcodeJobs.push_back(job(42));
    f.server()->transcodeJobs.push_back(job(43));
    f.log().clear();
    EXPECT_FALSE(notify("42:1:37"));
    EXPECT_EQ(f.server()->transcodeJobs.front().status, 0u);
    EXPECT_FALSE(f.log().contains(kUnrelated));
    EXPECT_TRUE(notify("43:1:37"));
}

TEST_F(TranscodeTrackerTest, LongOutputNameIsCutTo256Characters) {
    f.server()->transcodeJobs.push_back(job(18446744073709551615ull));
    ASSERT_TRUE(notify("18446744073709551615:2:100:" + std::string(300, 'o')));
    EXPECT_EQ(std::string(newest().filename), std::string(256, 'o'));
    EXPECT_TRUE(f.log().contains("Updating status for Id:-1", UTIL_LOG_DEBUG));
}

}  // namespace
