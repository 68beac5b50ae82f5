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

// Texts that leave the history (an older job 41, the newest 42 running) unchanged, with the error
// line they log; only the newest job is ever matched.
TEST_F(TranscodeTrackerTest, TextsThatDoNotUpdateTheJob) {
    struct Case {
        const char* text;
        const char* error;  // null: nothing at level 2 or 3
    };
    const Case cases[] = {
        {"", nullptr}, {"42", nullptr}, {"42:1", nullptr}, {"42:1:", nullptr},
        {"42:2:100", nullptr},   // done without its output name
        {"42:2:100:", nullptr},  // the same, with the colon
        {"41:1:37", nullptr},    // an older job: the caller logs
        {"x:1:37", "Error parsing id from x:1:37"},
        {"-", "Error parsing id from -"},
        {"42::37", "Error parsing status from 42::37"},
        {"42:99999999999:37", "Error parsing status from 42:99999999999:37"},
        {"42:1: %", "Error parsing progress from 42:1: %"},
        {"42:2:100: \t", "Error parsing filename from 42:2:100: \t"},
        {"42:2:100::B.MP4", "Error parsing filename from 42:2:100::B.MP4"},
    };
    f.server()->transcodeJobs.push_back(job(41));
    f.server()->transcodeJobs.push_back(job(42, 1));
    const TranscodeJob older = f.server()->transcodeJobs.front(), before = newest();
    for (const Case& c : cases) {
        f.log().clear();
        EXPECT_FALSE(notify(c.text)) << c.text;
        EXPECT_TRUE(sameRecord(f.server()->transcodeJobs.front(), older)) << c.text;
        EXPECT_TRUE(sameRecord(newest(), before)) << c.text;
        size_t problems = 0;
        for (const LogLine& line : f.log().lines()) problems += line.level <= UTIL_LOG_WARN;
        EXPECT_EQ(problems, c.error ? 1u : 0u) << c.text;
        if (c.error) {
            EXPECT_TRUE(f.log().contains(c.error, UTIL_LOG_ERROR)) << c.text;
        }
    }
    // With no job at all, nothing can match.
    f.server()->transcodeJobs.clear();
    EXPECT_FALSE(notify("42:1:37"));
    EXPECT_TRUE(f.log().contains(kUnrelated, UTIL_LOG_WARN));
}

// Each text updates the newest job (running, output "OLD.MP4") and nothing else; after a final
// status the job is frozen. Only status 2 carries an output name, cut to 256 characters.
TEST_F(TranscodeTrackerTest, UpdatesOfTheNewestJobUntilItsFinalStatus) {
    struct Case {
        uint64_t id;
        std::string text;
        uint32_t status, progress;
        std::string filename;
    };
    const char* done = "42:2:100:DCIM\\100ZTCAM\\ZTTC0001.MP4 trailing:more";
    const Case cases[] = {
        {42, "42:1:37", 1, 37, "OLD.MP4"},
        {42, " 42 : 1x: 50%", 1, 50, "OLD.MP4"},  // blanks before a number, anything after it
        {42, done, 2, 100, "DCIM/100ZTCAM/ZTTC0001.MP4"},
        {42, "42:3:80:NEW.MP4", 3, 80, "OLD.MP4"},  // no fourth field read
        {42, "42:4:80:NEW.MP4", 4, 80, "OLD.MP4"},
        {18446744073709551615ull, "18446744073709551615:2:100:" + std::string(300, 'o'), 2, 100,
         std::string(256, 'o')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        f.server()->transcodeJobs.assign(1, job(c.id, 1, "OLD.MP4"));
        ASSERT_TRUE(notify(c.text));
        TranscodeJob expected = job(c.id, c.status, c.filename.c_str());
        expected.progress = c.progress;
        EXPECT_TRUE(sameRecord(newest(), expected));
        const size_t unrelated = f.log().count(kUnrelated, UTIL_LOG_WARN);
        EXPECT_EQ(notify(std::to_string(c.id) + ":1:10"), c.status == 1);
        EXPECT_EQ(f.log().count(kUnrelated, UTIL_LOG_WARN), unrelated + (c.status == 1 ? 0 : 1));
    }
    const std::string traces[] = {"Parsed id 42 from 42:1:37", "Parsed status 1 from 42:1:37",
                                  "Parsed progress 37 from 42:1:37",
                                  std::string("Parsed filename DCIM\\100ZTCAM\\ZTTC0001.MP4 from ") + done,
                                  "Updating status for Id:42", "Updating status for Id:-1"};
    for (const std::string& line : traces) EXPECT_TRUE(f.log().contains(line, UTIL_LOG_DEBUG)) << line;
}

}  // namespace
