// The notification stream parser: frames whole, split anywhere, back to back, and the malformed
// streams that must end the connection.
#include "frame_parser.h"

#include <gtest/gtest.h>

#include "support.h"

using namespace ztctl;
using ztctl_test::frame;

using Frames = std::vector<std::string>;

TEST(FrameParser, BoundaryOnlyBetweenFrames) {
    FrameParser p;
    Frames frames;
    ASSERT_TRUE(p.feed("LENGTH:3\n\n{}", 12, frames));  // the twelve bytes of an empty object
    EXPECT_EQ(frames, Frames{"{}"});
    EXPECT_TRUE(p.atFrameBoundary());
    ASSERT_TRUE(p.feed("LENGTH:5\n\n{}", 12, frames));
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_FALSE(p.atFrameBoundary());
}

TEST(FrameParser, AnySplitGivesTheSameFrames) {
    const std::string stream = frame("{\"status\":{\"8\":1}}") + frame("{\"10\":2}") + frame("");
    for (size_t cut = 0; cut <= stream.size(); cut++) {
        // One piece up to the cut, then a byte at a time.
        FrameParser p;
        Frames frames;
        ASSERT_TRUE(p.feed(stream.data(), cut, frames));
        for (size_t k = cut; k < stream.size(); k++) ASSERT_TRUE(p.feed(&stream[k], 1, frames));
        EXPECT_EQ(frames, (Frames{"{\"status\":{\"8\":1}}", "{\"10\":2}", ""})) << cut;
        EXPECT_TRUE(p.atFrameBoundary());
    }
}

TEST(FrameParser, MalformedStreamsFailAndStayFailed) {
    for (const char* bad : {"length:3\n\n{}", "LENGTH:\n\n", "LENGTH:x\n\n", "LENGTH:3\r\n{}", "LENGTH:3\n{}",
                            "LENGTH:0\n\n", "LENGTH:-3\n\n", "LENGTH: 3\n\n", "{}"}) {
        const std::string stream = frame("[]") + bad;  // the frame before the damage is kept
        FrameParser p;
        Frames frames;
        EXPECT_FALSE(p.feed(stream.data(), stream.size(), frames)) << bad;
        EXPECT_TRUE(p.failed());
        EXPECT_FALSE(p.error().empty());
        EXPECT_FALSE(p.feed("LENGTH:3\n\n{}", 12, frames));
        EXPECT_EQ(frames, Frames{"[]"});
    }
}

TEST(FrameParser, LengthAboveTheBoundIsRefusedBeforeAnyAllocation) {
    Frames frames;
    FrameParser atBound(1024), above(1024), huge, aboveDefault;
    EXPECT_TRUE(atBound.feed("LENGTH:1024\n\n", 13, frames));
    EXPECT_FALSE(above.feed("LENGTH:1025", 11, frames));  // refused while the digits arrive
    EXPECT_NE(above.error().find("1024"), std::string::npos);
    EXPECT_FALSE(huge.feed("LENGTH:99999999999999999999\n\n", 29, frames));
    EXPECT_FALSE(aboveDefault.feed("LENGTH:1048577\n\n", 16, frames));
    EXPECT_TRUE(frames.empty());
}
