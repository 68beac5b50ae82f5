// The notification stream parser: frames whole, split at every position, back to back, and the
// malformed streams that must end the connection.
#include <gtest/gtest.h>
#include <string.h>

#include "frame_parser.h"

using namespace ztctl;

namespace {

std::string frame(const std::string& body) { return "LENGTH:" + std::to_string(body.size() + 1) + "\n\n" + body; }

}  // namespace

TEST(FrameParser, TheTwelveByteFrameOfAnEmptyObject) {
    FrameParser p;
    std::vector<std::string> frames;
    ASSERT_TRUE(p.feed("LENGTH:3\n\n{}", 12, frames));
    EXPECT_EQ(frames, (std::vector<std::string>{"{}"}));
    EXPECT_TRUE(p.atFrameBoundary());
}

TEST(FrameParser, SplitAtEveryPositionGivesTheSameFrames) {
    const std::string stream = frame("{\"status\":{\"8\":1}}") + frame("{\"10\":2}") + frame("");
    for (size_t cut = 0; cut <= stream.size(); cut++) {
        FrameParser p;
        std::vector<std::string> frames;
        ASSERT_TRUE(p.feed(stream.data(), cut, frames));
        ASSERT_TRUE(p.feed(stream.data() + cut, stream.size() - cut, frames));
        EXPECT_EQ(frames, (std::vector<std::string>{"{\"status\":{\"8\":1}}", "{\"10\":2}", ""})) << cut;
    }
}

TEST(FrameParser, OneByteAtATime) {
    const std::string stream = frame("[1,2,3]") + frame("{}");
    FrameParser p;
    std::vector<std::string> frames;
    for (char c : stream) ASSERT_TRUE(p.feed(&c, 1, frames));
    EXPECT_EQ(frames, (std::vector<std::string>{"[1,2,3]", "{}"}));
    EXPECT_TRUE(p.atFrameBoundary());
}

TEST(FrameParser, PartialFrameIsNotABoundary) {
    FrameParser p;
    std::vector<std::string> frames;
    ASSERT_TRUE(p.feed("LENGTH:5\n\n{}", 12, frames));
    EXPECT_TRUE(frames.empty());
    EXPECT_FALSE(p.atFrameBoundary());
}

TEST(FrameParser, MalformedHeadersFailAndStayFailed) {
    for (const char* bad : {"length:3\n\n{}", "LENGTH:\n\n", "LENGTH:x\n\n", "LENGTH:3\r\n{}", "LENGTH:3\n{}",
                            "LENGTH:0\n\n", "LENGTH:-3\n\n", "LENGTH: 3\n\n", "{}"}) {
        FrameParser p;
        std::vector<std::string> frames;
        EXPECT_FALSE(p.feed(bad, strlen(bad), frames)) << bad;
        EXPECT_TRUE(p.failed());
        EXPECT_FALSE(p.error().empty());
        EXPECT_TRUE(frames.empty());
        EXPECT_FALSE(p.feed("LENGTH:3\n\n{}", 12, frames));
        EXPECT_TRUE(frames.empty());
    }
}

TEST(FrameParser, FramesBeforeTheDamageAreKept) {
    const std::string stream = frame("{}") + "GARBAGE";
    FrameParser p;
    std::vector<std::string> frames;
    EXPECT_FALSE(p.feed(stream.data(), stream.size(), frames));
    EXPECT_EQ(frames, (std::vector<std::string>{"{}"}));
}

TEST(FrameParser, LengthAboveTheBoundIsRefusedBeforeAnyAllocation) {
    FrameParser p(1024);
    std::vector<std::string> frames;
    EXPECT_TRUE(p.feed("LENGTH:1024\n\n", 13, frames));  // at the bound: accepted
    FrameParser q(1024);
    EXPECT_FALSE(q.feed("LENGTH:1025", 11, frames));  // refused while the digits arrive
    EXPECT_NE(q.error().find("1024"), std::string::npos);
    FrameParser r;
    EXPECT_FALSE(r.feed("LENGTH:99999999999999999999\n\n", 29, frames));
    FrameParser s;
    EXPECT_FALSE(s.feed("LENGTH:1048577\n\n", 16, frames));
}
