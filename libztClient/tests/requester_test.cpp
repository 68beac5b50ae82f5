// The requester against a scripted daemon on a private mailbox: what it sends, what it returns,
// and the faults a camera process meets (late answers, time-outs, a full or restarted daemon).
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "scripted_daemon.h"
#include "ztClient.h"

namespace {

using Clock = std::chrono::steady_clock;

class Requester : public ScriptedClient {
protected:
    // A call answered by the scripted daemon (daemon.last() is the request it took).
    int callAnswered(uint32_t id, const Bytes* arg, int32_t answerResult, const Bytes& payload = {},
                     uint8_t* out = nullptr, size_t capacity = 0, size_t* outLen = nullptr) {
        daemon.serve({response(answerResult, payload)});
        return ztClient_call(client, id, arg ? arg->data() : nullptr, arg ? arg->size() : 0, 3000, &result,
                             out, capacity, outLen);
    }

    int32_t result = 99;
};

TEST_F(Requester, RequestAndAnswerTravelWhole) {
    const Bytes arg = {2, 0, 0, 0, 17, 0, 0, 0};
    const Bytes payload(1400, 0xA5);
    uint8_t out[1400];
    size_t outLen = 0;
    EXPECT_EQ(callAnswered(30, &arg, -3, payload, out, sizeof out, &outLen), 0);
    Seen seen = daemon.last();
    EXPECT_EQ(seen.id, 30u);
    EXPECT_TRUE(seen.hasArgument);
    EXPECT_EQ(seen.argument, arg);
    EXPECT_EQ(seen.reply, ztClient_replyMailbox(client));
    EXPECT_EQ(result, -3);
    EXPECT_EQ(Bytes(out, out + outLen), payload);
}

TEST_F(Requester, SizeLimitsAtTheirEdges) {
    // Header 4, command 7, argument 3 + n, reply name 3 + length + 1: the largest argument fits.
    const size_t fits = 1500 - 4 - 7 - 3 - 3 - (strlen(ztClient_replyMailbox(client)) + 1);
    Bytes arg(fits, 1);
    size_t outLen = 7;
    EXPECT_EQ(callAnswered(7, &arg, 0, {}, nullptr, 0, &outLen), 0);
    EXPECT_EQ(daemon.last().argument.size(), fits);
    EXPECT_EQ(outLen, 0u) << "an answer without a payload";
    arg.push_back(1);
    EXPECT_EQ(ztClient_call(client, 7, arg.data(), arg.size(), 100, &result, nullptr, 0, nullptr),
              ZTCLIENT_ERR_ARG_TOO_LARGE);

    // A payload one byte larger than the buffer: the result and the needed length, nothing copied.
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(callAnswered(33, nullptr, 5, {1, 2, 3, 4, 5}, out, sizeof out, &outLen),
              ZTCLIENT_ERR_ANSWER_TOO_LARGE);
    EXPECT_FALSE(daemon.last().hasArgument);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(outLen, 5u);
    EXPECT_EQ(out[0], 9);
}

TEST_F(Requester, LateAnswerIsNeverTakenForTheNextCall) {
    const std::string first = ztClient_replyMailbox(client);
    EXPECT_EQ(ztClient_call(client, 1, nullptr, 0, 100, &result, nullptr, 0, nullptr), ZTCLIENT_ERR_TIMEOUT);
    const Seen late = daemon.take();
    ASSERT_EQ(late.id, 1u);
    // The answer of the first call arrives now (or is refused: nobody reads its mailbox any more).
    ScriptedDaemon::send(late.reply, response(111));
    EXPECT_FALSE(mailboxExists(first));
    EXPECT_EQ(callAnswered(2, nullptr, 222), 0);
    EXPECT_EQ(result, 222);
}

TEST_F(Requester, FullGoneAndRestartedDaemon) {
    daemon.remove();
    daemon.create(1);
    EXPECT_EQ(ztClient_call(client, 1, nullptr, 0, 0, &result, nullptr, 0, nullptr), ZTCLIENT_ERR_TIMEOUT);
    const auto start = Clock::now();
    EXPECT_EQ(ztClient_call(client, 2, nullptr, 0, 200, &result, nullptr, 0, nullptr), ZTCLIENT_ERR_DAEMON_BUSY);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::seconds(5));

    // Gone, then restarted between calls.
    daemon.remove();
    EXPECT_EQ(ztClient_call(client, 1, nullptr, 0, 100, &result, nullptr, 0, nullptr), ZTCLIENT_ERR_NO_DAEMON);
    daemon.create();
    EXPECT_EQ(callAnswered(3, nullptr, 1), 0);
    daemon.remove();
    daemon.create();
    EXPECT_EQ(callAnswered(4, nullptr, 2), 0);
    EXPECT_EQ(result, 2);
}

TEST_F(Requester, ReplyMailboxesAreUniqueAndRemovedOnClose) {
    ztClient* other = nullptr;
    ASSERT_EQ(ztClient_open(&other, daemon.name(), "/ztclient_test"), 0);
    const std::string name = ztClient_replyMailbox(other);
    zt_cleanup::removeAtCrash(name);
    EXPECT_EQ(name.rfind("/ztclient_test_" + std::to_string(getpid()) + "_", 0), 0u) << name;
    EXPECT_NE(name, ztClient_replyMailbox(client));
    EXPECT_TRUE(mailboxExists(name));
    ztClient_close(other);
    EXPECT_FALSE(mailboxExists(name));
    EXPECT_EQ(ztClient_open(&other, daemon.name(), "no-slash"), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(other, nullptr);
}

TEST(AnswerDecoding, AnythingButAWholeAnswerIsMalformed) {
    // Result -3 and the payload "ab\0" (the documented example), then damaged copies of it.
    const Bytes good = {0x00, 0x14, 0x15, 0x14, 0xEC, 0x00, 0x04, 0xFD, 0xFF, 0xFF,
                        0xFF, 0x45, 0x00, 0x03, 0x61, 0x62, 0x00, 0xEE, 0x00, 0x00};
    int32_t result = 0;
    const uint8_t* payload = nullptr;
    size_t len = 0;
    ASSERT_EQ(ztClient_decodeAnswer(good.data(), good.size(), &result, &payload, &len), 0);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload), len), std::string("ab", 3));
    // A byte and its damaged value.
    const std::pair<size_t, uint8_t> damages[] = {{1, 0x15}, {1, 0x03},  {2, 0x16}, {3, 0x0A},
                                                  {6, 0x03}, {13, 0x09}, {4, 0x45}};
    for (const auto& [at, value] : damages) {
        Bytes bad = good;
        bad[at] = value;
        EXPECT_EQ(ztClient_decodeAnswer(bad.data(), bad.size(), &result, &payload, &len), ZTCLIENT_ERR_MALFORMED)
            << at;
    }
    EXPECT_EQ(ztClient_decodeAnswer(good.data(), 19, &result, &payload, &len), ZTCLIENT_ERR_MALFORMED);

    // Arbitrary bytes never read past their length (the sanitizer builds watch this).
    std::mt19937 rng(5);
    for (int k = 0; k < 2000; k++) {
        Bytes bytes(rng() % 80);
        for (auto& b : bytes) b = (uint8_t)rng();
        if (k % 2 && bytes.size() > 4) bytes[3] = 20;  // plausible category
        ztClient_decodeAnswer(bytes.data(), bytes.size(), &result, &payload, &len);
    }
}

}  // namespace
