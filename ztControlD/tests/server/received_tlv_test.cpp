// Bounded reads of received TLV events: nothing past the received bytes is used.
#include <gtest/gtest.h>

#include "server/received_tlv.h"
#include "support/requester.h"
#include "ztTlv.h"

namespace {

TEST(ReceivedTlv, FindsOnlyElementsInsideTheReceivedBytes) {
    Bytes msg = buildTlvEvent(10, "PU", Bytes{4, 5, 0, 0, 0}, TLV_CMDARG);
    ReceivedTlv rx = {msg.data(), msg.size()};
    TlvValue cmd = findReceivedElement(rx, TLV_CMD);
    ASSERT_NE(cmd.data, nullptr);
    EXPECT_EQ(cmd.length, 2);
    EXPECT_TRUE(valueStartsWith(cmd, "PU"));
    EXPECT_FALSE(valueStartsWith(cmd, "PX"));
    TlvValue arg = findReceivedElement(rx, TLV_CMDARG);
    ASSERT_NE(arg.data, nullptr);
    EXPECT_EQ(arg.length, 5);
    EXPECT_EQ(findReceivedElement(rx, TLV_RSPARG).data, nullptr);

    // An element running past the received length is missing: received only up to the middle of
    // the argument value (the header says more).
    rx.length = 4 + 6 + 4 + 2;
    EXPECT_NE(findReceivedElement(rx, TLV_CMD).data, nullptr);
    EXPECT_EQ(findReceivedElement(rx, TLV_CMDARG).data, nullptr);
    // Cut inside the element header.
    rx.length = 4 + 6 + 2;
    EXPECT_EQ(findReceivedElement(rx, TLV_CMDARG).data, nullptr);
    // Too short for a header at all.
    rx.length = 3;
    EXPECT_EQ(findReceivedElement(rx, TLV_CMD).data, nullptr);
    // An empty value whose header ends exactly at the received length is there.
    msg = buildTlvEvent(10, "PU", Bytes{7}, TLV_CMDARG);
    unsigned char* element = tlv_find(msg.data(), TLV_CMDARG);
    element[2] = 0;  // the value's length, big-endian
    rx = {msg.data(), (size_t)(element - msg.data()) + 4};  // up to the end of its header
    const TlvValue empty = findReceivedElement(rx, TLV_CMDARG);
    EXPECT_NE(empty.data, nullptr);
    EXPECT_EQ(empty.length, 0);
}

TEST(ReceivedTlv, ValueAsTextStopsAtTheValueEndANulOrTheBuffer) {
    const uint8_t bytes[] = {'C', 'R', 'X', 0, 'Y'};
    char out[8];
    TlvValue v = {bytes, 2};
    EXPECT_STREQ(valueAsText(v, out, sizeof(out)), "CR");
    v.length = 5;
    EXPECT_STREQ(valueAsText(v, out, sizeof(out)), "CRX");
    EXPECT_STREQ(valueAsText(v, out, 3), "CR");
    EXPECT_STREQ(valueAsText(TlvValue(), out, sizeof(out)), "");
}

TEST(ReceivedTlv, TextInValueNeedsItsOffsetAndANulInsideTheMessage) {
    Bytes arg = cat({1, 0, 0, 0, 0}, textArg("42:1:37"));
    Bytes msg = buildTlvEvent(18, "CN", arg, TLV_CMDARG);
    ReceivedTlv rx = {msg.data(), msg.size()};
    TlvValue v = findReceivedElement(rx, TLV_CMDARG);
    ASSERT_NE(textInValue(rx, v, 5), nullptr);
    EXPECT_STREQ(textInValue(rx, v, 5), "42:1:37");
    EXPECT_EQ(textInValue(rx, v, v.length + 1), nullptr);

    // The text may end at the next element's leading zero byte.
    arg.pop_back();
    msg = buildTlvEvent(18, "CN", arg, TLV_CMDARG);
    rx = {msg.data(), msg.size()};
    v = findReceivedElement(rx, TLV_CMDARG);
    ASSERT_NE(textInValue(rx, v, 5), nullptr);
    EXPECT_STREQ(textInValue(rx, v, 5), "42:1:37");

    // No NUL anywhere up to the end of the received bytes.
    Bytes raw = {0, 0, 0, 0, 'a', 'b', 'c'};
    ReceivedTlv tail = {raw.data(), raw.size()};
    const TlvValue inTail = {raw.data() + 4, 3};
    EXPECT_EQ(textInValue(tail, inTail, 0), nullptr);
}

}  // namespace
