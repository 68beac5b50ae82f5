// tlv_validate: every step's result and validation message, in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ztTestUtil.h"

using testing::HasSubstr;
using zttest::TlvMsg;

namespace {

class TlvValidate : public testing::Test {
protected:
    // Validates and returns the validation text printed on standard output (no timestamp).
    int Validate(const TlvMsg& m, std::string* text)
    {
        g_debug_level = zttest::kTraceToStdout;
        unsigned char before[ZTMSG_MAX];
        memcpy(before, m.buf, sizeof before);
        zttest::FdCapture out(1);
        int rc = tlv_validate(m.buf);
        std::string captured = out.Stop();
        EXPECT_EQ(memcmp(before, m.buf, sizeof before), 0) << "validation never writes";
        text->clear();
        for (const std::string& line : zttest::Lines(captured))
            *text += zttest::Untimed(line) + "\n";
        return rc;
    }

    void ExpectResult(const TlvMsg& m, int rc, const std::string& message)
    {
        std::string text;
        EXPECT_EQ(Validate(m, &text), rc);
        EXPECT_EQ(text, message);
    }

    zttest::GlobalsGuard guard;
};

TEST_F(TlvValidate, Step1TooShort)
{
    TlvMsg m = TlvMsg::Command();
    m.SetLen(17);
    ExpectResult(m, -1, "TLV_ERROR: MSG len is too short (17 < 18)\n");
    m.SetLen(0x8000);
    ExpectResult(m, -1, "TLV_ERROR: MSG len is too short (-32768 < 18)\n");
}

TEST_F(TlvValidate, EighteenBytesPassStep1)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "").End();
    ASSERT_EQ(m.Len(), 18);
    ExpectResult(m, -3, "TLV_ERROR: :CR MSG needs a DST\n");
}

TEST_F(TlvValidate, Step2TooLong)
{
    TlvMsg m = TlvMsg::Command();
    m.SetLen(1501);
    ExpectResult(m, -1, "TLV_ERROR: MSG len is too long (1501 > 1500)\n");
}

TEST_F(TlvValidate, Step3InternalLengthMismatch)
{
    TlvMsg m = TlvMsg::Command();
    m.buf[45] = 1;  // END claims 1 value byte: elements then sum to 44 instead of 43
    ExpectResult(m, -1, "TLV_ERROR: MSG length (44) does not match internal length (430.\n");
    TlvMsg shorter = TlvMsg::Command();
    shorter.SetLen(46);  // walk ends past the total
    ExpectResult(shorter, -1, "TLV_ERROR: MSG length (43) does not match internal length (420.\n");
}

TEST_F(TlvValidate, Step4MissingEnd)
{
    TlvMsg m = TlvMsg::Command();
    m.buf[46] = 0xED;
    ExpectResult(m, -1, "TLV_ERROR: MSG is missing ending TLV: 0xEE\n");
}

TEST_F(TlvValidate, Step5NoCommand)
{
    TlvMsg m;
    m.Add(TLV_CMDARG, "ab").Add(TLV_SRC, "/src").Add(TLV_DST, "/dst").End();
    ExpectResult(m, -3, "TLV_ERROR: MSG needs a CMD\n");
}

TEST_F(TlvValidate, Step6NoDestination)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "ab").Add(TLV_SRC, "/src").End();
    ExpectResult(m, -3, "TLV_ERROR: :CR MSG needs a DST\n");
}

TEST_F(TlvValidate, Step7NoSource)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "ab").Add(TLV_DST, "/dst").End();
    ExpectResult(m, -3, "TLV_ERROR: :CR MSG needs a SRC\n");
}

TEST_F(TlvValidate, Step8SecondEnd)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "ab").Add(TLV_SRC, "/src").Add(TLV_DST, "/dst").End().End();
    ExpectResult(m, -1, "TLV_ERROR: :CR MSG has too many ending TLV: 0xEE\n");
}

TEST_F(TlvValidate, Step9UnknownCategory)
{
    ExpectResult(TlvMsg::Command(0xF0), -2, "TLV_ERROR: :CR MSG needs a known CATagory. CAT=0xf0\n");
    TlvMsg highest(0xEF);  // a response category: needs its response argument to be silent
    highest.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "a").Add(TLV_RSPARG, "r").Add(TLV_SRC, "/s").Add(TLV_DST, "/d").End();
    ExpectResult(highest, 0, "");
}

TEST_F(TlvValidate, Step10ResponseWithoutArgument)
{
    TlvMsg m(17);
    m.Add(TLV_CMD, "CR").Add(TLV_RSPARG, "r").Add(TLV_SRC, "/to_ztCtlD").Add(TLV_DST, "/to_ztnet").End();
    ExpectResult(m, -3, "TLV_ERROR: MSG :CR RSP needs a CMDARG\n");
}

TEST_F(TlvValidate, Step11ResponseWithoutResponseArgumentIsAccepted)
{
    ExpectResult(TlvMsg::Command(17), 0, "TLV_WARNING: MSG :CR RSP needs a RSPARG fr_ztCtlD /to_ztnet\n");
}

TEST_F(TlvValidate, Step12CommandWithoutArgument)
{
    TlvMsg m(16);
    m.Add(TLV_CMD, "CR").Add(TLV_SRC, "/to_ztCtlD").Add(TLV_DST, "/to_ztnet").End();
    ExpectResult(m, -3, "TLV_ERROR: MSG :CR CMD needs a CMDARG\n");
}

TEST_F(TlvValidate, Step13ValidMessagesAreSilent)
{
    ExpectResult(TlvMsg::Command(16), 0, "");
    TlvMsg response(17);
    response.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "a").Add(TLV_RSPARG, "r").Add(TLV_SRC, "/s").Add(TLV_DST, "/d").End();
    ExpectResult(response, 0, "");
}

TEST_F(TlvValidate, ElementOrderIsFree)
{
    TlvMsg m;
    m.Add(TLV_DST, "/d").Add(TLV_SRC, "/s").Add(TLV_CMDARG, "x").Add(TLV_CMD, "ZZ").End();
    ExpectResult(m, 0, "");
}

TEST_F(TlvValidate, CommandTextStopsAtMessageEnd)
{
    // The command is the last element and its value ends the message with 0xEE: read in place
    // as a C string it would run past the message, so the text must stop at the end.
    TlvMsg m;
    m.Add(TLV_CMDARG, "a").Add(TLV_SRC, "/s").Add(TLV_CMD, "Q\xEE");
    std::unique_ptr<unsigned char[]> exact(new unsigned char[m.Len()]);
    memcpy(exact.get(), m.buf, m.Len());
    g_debug_level = zttest::kTraceToStdout;
    zttest::FdCapture out(1);
    EXPECT_EQ(tlv_validate(exact.get()), -3);
    EXPECT_EQ(zttest::Untimed(out.Stop()), "TLV_ERROR: :Q\xEE MSG needs a DST\n");
}

TEST_F(TlvValidate, MessagesNeedVerbosityAbove15)
{
    TlvMsg m = TlvMsg::Command(0xF0);
    g_debug_level = 0x4000000Fu;
    zttest::FdCapture out(1);
    EXPECT_EQ(tlv_validate(m.buf), -2);
    EXPECT_EQ(out.Stop(), "");
}

TEST_F(TlvValidate, MessageCarriesTimestampOnStdout)
{
    g_debug_level = zttest::kTraceToStdout;
    TlvMsg m = TlvMsg::Command(0xF0);
    zttest::FdCapture out(1);
    tlv_validate(m.buf);
    EXPECT_THAT(out.Stop(), testing::MatchesRegex("[A-Z][a-z][a-z][ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] "
                                                  "TLV_ERROR: :CR MSG needs a known CATagory\\. CAT=0xf0\n"));
}

}  // namespace
