// The dispatcher's refusals need no camera: unhandled ids, refused arguments and the common tail,
// run directly on a server whose interface is not open (private reply mailbox only).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "commands/command_dispatch.h"
#include "commands/command_family.h"
#include "server/ztcontrol_if_server.h"
#include "support/log_capture.h"
#include "support/requester.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedLevel = g_logLevel;
        g_logLevel = UTIL_LOG_TRACE;
        server = ZtcontrolCommandServer::getInstance();
        server->protocolAdapterSet = true;
        server->txBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];
    }
    void TearDown() override {
        server->interfaceClose();  // frees the buffer
        ZtcontrolCommandServer::destroyInstance();
        g_logLevel = savedLevel;
    }

    // Parses request bytes the way the intake does, runs the handler and collects the response.
    Reply run(uint32_t id, const std::optional<Bytes>& arg, bool withReplyMailbox = true) {
        Bytes bytes = buildRequest(id, arg, withReplyMailbox ? requester.replyName().c_str() : nullptr);
        auto request = std::make_unique<Msg>(ZT_MSG_CATEGORY);
        MemStream in(bytes.data(), bytes.size());
        in >> *request;
        handled = handleCommand(server, request.get(), id);
        return requester.waitReply(withReplyMailbox ? 2000 : 100);
    }

    void expectRefused(uint32_t id, const std::optional<Bytes>& arg) {
        SCOPED_TRACE("id " + std::to_string(id));
        log.clear();
        Reply reply = run(id, arg);
        ASSERT_TRUE(reply.received);
        EXPECT_EQ(reply.result, ZT_ERR_INVALID_PARAM);
        EXPECT_FALSE(reply.hasPayload);
        EXPECT_FALSE(handled);
        EXPECT_TRUE(log.contains("Invalid parameter", UTIL_LOG_ERROR));
        const std::string tail = "Command:" + std::to_string(id) + " returned ztErrno:(-3=ZT_ERR_INVALID_PARAM)";
        EXPECT_TRUE(log.contains(tail, UTIL_LOG_ERROR));
    }

    int savedLevel = 0;
    ZtcontrolCommandServer* server = nullptr;
    LogCapture log;
    Requester requester;
    bool handled = true;
};

TEST_F(DispatchTest, UnassignedAndOutOfRangeIdsAreUnhandled) {
    for (uint32_t id : {1u, 2u, 45u, 89u, 90u, 1000u, 2147483648u, 4294967295u}) {  // logged unsigned
        log.clear();
        Reply reply = run(id, std::nullopt);
        ASSERT_TRUE(reply.received) << "id " << id;
        EXPECT_EQ(reply.result, ZT_ERR_NOT_SUPPORTED);
        EXPECT_EQ(reply.msgType, ZT_MSG_TYPE_RESPONSE);
        EXPECT_EQ(reply.category, ZT_MSG_CATEGORY);
        EXPECT_FALSE(reply.hasPayload);
        EXPECT_FALSE(handled);
        EXPECT_TRUE(log.contains("Unhandled command " + std::to_string(id), UTIL_LOG_ERROR));
        // The tail line follows the response.
        long sent = log.indexOf("Sending response with err:-104");
        long tail = log.indexOf("Command:" + std::to_string(id) + " returned ztErrno:(-104=ZT_ERR_NOT_SUPPORTED)");
        ASSERT_GE(sent, 0);
        EXPECT_GT(tail, sent);
    }
}

// Arguments where none is taken (even empty), missing where one is required, shorter than their
// kind, and a glint tag name that does not end inside its field.
TEST_F(DispatchTest, ArgumentsThatDoNotFitTheCommandAreRefused) {
    for (uint32_t id : {10u, 12u, 13u, 14u, 35u, 36u, 39u, 40u, 64u}) {
        expectRefused(id, Bytes{1});
        expectRefused(id, Bytes{});
    }
    for (uint32_t id : {8u, 9u, 11u, 15u, 37u, 38u, 42u}) expectRefused(id, std::nullopt);
    Bytes unterminatedTag(268, 0);
    for (size_t i = 4; i < 264; ++i) unterminatedTag[i] = 'a';
    const std::pair<uint32_t, Bytes> shortOrBad[] = {
        {8, Bytes(267, 0)},         // glint tag reads 268 bytes
        {42, Bytes{5, 0, 0}},       // u32
        {15, Bytes{}},              // u8
        {9, Bytes{'a', 'b', 'c'}},  // text without its NUL
        {11, Bytes{}},
        {8, unterminatedTag},
    };
    for (const auto& row : shortOrBad) expectRefused(row.first, row.second);
    // The refusal is answered even when its line is not logged.
    g_logLevel = UTIL_LOG_FATAL;
    log.clear();
    Reply reply = run(10, Bytes{1});
    ASSERT_TRUE(reply.received);
    EXPECT_EQ(reply.result, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DispatchTest, NothingIsAnsweredBeforeTheProtocolAdapterIsSet) {
    server->protocolAdapterSet = false;
    Reply reply = run(42, u32Arg(4));
    EXPECT_FALSE(reply.received);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(log.contains("protocol adapter not set - throwing out command", UTIL_LOG_ERROR));
}

TEST_F(DispatchTest, SetLogLevelIgnoresLevelsAboveSixAndNeedsNoReplyMailbox) {
    Reply reply = run(42, u32Arg(5));
    ASSERT_TRUE(reply.received);
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_TRUE(handled);
    EXPECT_EQ(g_logLevel, 5);
    EXPECT_TRUE(log.contains("ZTCONTROL_SET_LOG_LEVEL: level:5", UTIL_LOG_DEBUG));

    reply = run(42, u32Arg(9));
    EXPECT_EQ(reply.result, ZT_OK);
    EXPECT_EQ(g_logLevel, 5);
    EXPECT_EQ(log.countContaining("returned ztErrno"), 0u);

    // Without a reply mailbox the request is handled all the same.
    reply = run(42, u32Arg(4), false);
    EXPECT_FALSE(reply.received);
    EXPECT_TRUE(handled);
    EXPECT_EQ(g_logLevel, 4);
    EXPECT_TRUE(log.contains("No requester SRC in the message received.", UTIL_LOG_ERROR));
}

// A name that fills the 256-byte name buffer with its NUL is tried; one character more is refused
// before anything is copied.
TEST_F(DispatchTest, ReplyMailboxNamesUpTo255CharactersAreTried) {
    for (size_t length : {26u, 255u, 256u, 300u}) {
        const std::string name = "/ztcd_test_no_such_mailbox" + std::string(length - 26, 'x');
        Bytes bytes = buildRequest(90, std::nullopt, name.c_str());
        Msg request(ZT_MSG_CATEGORY);
        MemStream in(bytes.data(), bytes.size());
        in >> request;
        log.clear();
        EXPECT_FALSE(server->sendResponse(&request, 0, nullptr, 0));
        const std::string failedOpen = "mq_open() failed for '" + name + "': No such file or directory\n";
        const bool tried = log.contains(failedOpen, UTIL_LOG_ERROR);
        const bool refused = log.contains("No requester SRC in the message received.", UTIL_LOG_ERROR);
        EXPECT_EQ(tried, length <= 255) << length;
        EXPECT_EQ(refused, length > 255) << length;
    }
}

// The answer of a camera that is off is the single byte 2 and nothing else.
TEST_F(DispatchTest, CameraOffIsOneByteTwo) {
    const uint8_t off[] = {2, 0};
    EXPECT_TRUE(isCameraOffAnswer(off, 1));
    EXPECT_FALSE(isCameraOffAnswer(off, 2));
    EXPECT_FALSE(isCameraOffAnswer(off + 1, 1));
    EXPECT_FALSE(isCameraOffAnswer(nullptr, 1));
}

}  // namespace
