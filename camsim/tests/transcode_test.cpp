// Transcode jobs: the 12-byte answer, progress notifications to a subscribed daemon only,
// cancel and refusals.
#include <stdio.h>

#include "camera_layout.h"
#include "test_support.h"

using namespace camsim_test;

namespace {

std::vector<uint8_t> videoRequest(const std::string& name) {
    std::vector<uint8_t> p(name.begin(), name.end());
    p.push_back(0);
    p.resize(p.size() + 29, 1);
    return p;
}

uint64_t jobId(const Reply& r) {
    EXPECT_EQ(size_t(12), r.answer.size());
    if (r.answer.size() != 12) return 0;
    return uint64_t(readBe32(r.answer, 0)) << 32 | readBe32(r.answer, 4);
}

std::vector<uint8_t> be64(uint64_t v) { return be32(uint32_t(v >> 32)) + be32(uint32_t(v)); }

// The text of a "CN" event: after one byte and a 4-byte length, NUL-terminated.
std::string notificationText(const Event& e) {
    EXPECT_GE(e.cmdarg.size(), 6u);
    if (e.cmdarg.size() < 6) return std::string();
    std::string text(reinterpret_cast<const char*>(e.cmdarg.data() + 5));
    EXPECT_EQ(e.cmdarg.size(), 5 + text.size() + 1) << "the text ends the argument with its NUL";
    EXPECT_EQ(readBe32(e.cmdarg, 1), text.size() + 1);
    return text;
}

}  // namespace

class TranscodeTest : public SimTest {
protected:
    void adjust(camsim::Options& o) override {
        o.timeScale = 1;
        o.transcodeSeconds = 1;
    }
};

TEST_F(TranscodeTest, AcceptedWithIdAndEstimateBigEndianThenRefusedWhileBusy) {
    Reply r = req->remote(12, 5, videoRequest("100GOPRO/GX010001.MP4"));
    ASSERT_EQ(0, r.result);
    uint64_t id = jobId(r);
    EXPECT_GE(id, 1001u);
    EXPECT_EQ(1u, readBe32(r.answer, 8));
    Reply busy = req->remote(12, 6, std::vector<uint8_t>{'A', '.', 'J', 'P', 'G', 0, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(-101, busy.result);
    EXPECT_EQ(-8, busy.nak);
    ASSERT_EQ(1u, sim->state().jobs.size());
    EXPECT_EQ("100GOPRO/GX010001.MP4", sim->state().jobs[0].source);
}

TEST_F(TranscodeTest, ProgressReachesTheDaemonOnlyWhileSubscribed) {
    uint64_t quiet = jobId(req->remote(12, 5, videoRequest("A.MP4")));
    Event e;
    EXPECT_FALSE(daemon->next(&e, 1800)) << "no notification without a subscription";
    ASSERT_EQ(1u, sim->state().jobs.size());
    EXPECT_EQ(2, sim->state().jobs[0].status) << "the job still ran";

    subscribe(1);
    uint64_t id = jobId(req->remote(12, 6, std::vector<uint8_t>{'B', '.', 'J', 'P', 'G', 0, 1, 0, 0, 0, 5, 1}));
    ASSERT_NE(quiet, id);
    int lastProgress = -1;
    std::string final;
    for (int i = 0; i < 20 && final.empty(); ++i) {
        e = expectEvent(18, "CN");
        ASSERT_FALSE(e.cmdarg.empty());
        EXPECT_EQ(1, e.cmdarg[0]);
        std::string text = notificationText(e);
        unsigned long long gotId = 0;
        int status = -1, progress = -1;
        ASSERT_EQ(3, sscanf(text.c_str(), "%llu:%d:%d", &gotId, &status, &progress)) << text;
        EXPECT_EQ(id, gotId);
        EXPECT_GE(progress, lastProgress);
        lastProgress = progress;
        if (status == 2) final = text;
        else EXPECT_EQ(1, status) << text;
    }
    ASSERT_FALSE(final.empty());
    EXPECT_EQ(100, lastProgress);
    std::string file = final.substr(final.rfind(':') + 1);
    EXPECT_NE(std::string::npos, file.find('\\')) << "output names come Windows-style";
    EXPECT_NE(std::string::npos, file.find(".MP4")) << "a photo source makes a video";
    EXPECT_EQ(file, sim->state().jobs.back().output);

    subscribe(0);
    req->remote(12, 5, videoRequest("C.MP4"));
    EXPECT_FALSE(daemon->next(&e, 1800)) << "unsubscribed again";
}

TEST_F(TranscodeTest, CancelEndsAJobAndUnknownIdsAreRefused) {
    subscribe(1);
    uint64_t id = jobId(req->remote(12, 5, videoRequest("A.MP4")));
    ASSERT_EQ(0, req->remote(12, 3, be64(id)).result);
    EXPECT_EQ(3, sim->state().jobs.back().status);
    Event e;
    bool sawCancel = false;
    while (!sawCancel && daemon->next(&e, 1000)) sawCancel = notificationText(e).find(":3:") != std::string::npos;
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(-3, req->remote(12, 3, be64(id)).result) << "already ended";
    EXPECT_EQ(-3, req->remote(12, 3, {0, 1}).result);
}

TEST_F(TranscodeTest, MalformedRequestsAndMissingCardAreRefused) {
    EXPECT_EQ(-3, req->remote(12, 5, {'A', 'B', 'C'}).result) << "no NUL";
    EXPECT_EQ(-3, req->remote(12, 5, videoRequest("")).result);
    EXPECT_EQ(-3, req->remote(12, 6, {'A', 0, 1, 2}).result) << "too short";
    EXPECT_EQ(-104, req->remote(12, 9).result);
    sim->setStatus(camlayout::ST_SD_PRESENT, 0);
    Reply r = req->remote(12, 5, videoRequest("A.MP4"));
    EXPECT_EQ(-101, r.result);
    EXPECT_EQ(-7, r.nak);
    EXPECT_TRUE(sim->state().jobs.empty());
}
