// tlv_validate: every step's result and validation message, in order.
#include <cstring>

#include "ztTestUtil.h"

using zttest::TlvMsg;

namespace {

TEST(TlvValidate, EveryStepsResultAndMessage)
{
    g_debug_level = zttest::kTraceToStdout;
    const TlvMsg cmd = TlvMsg::Command();
    const struct {
        TlvMsg m;
        int rc;
        std::string text;
    } rows[] = {
        {TlvMsg(cmd).SetLen(17), -1, "TLV_ERROR: MSG len is too short (17 < 18)"},
        {TlvMsg(cmd).SetLen(0x8000), -1, "TLV_ERROR: MSG len is too short (-32768 < 18)"},
        // 18 bytes pass step 1.
        {TlvMsg().Add(TLV_CMD, "CR").Add(TLV_CMDARG, "").End(), -3, "TLV_ERROR: :CR MSG needs a DST"},
        {TlvMsg(cmd).SetLen(1501), -1, "TLV_ERROR: MSG len is too long (1501 > 1500)"},
        // END claims a value byte: the elements sum to 44, then a walk that ends past the total.
        {TlvMsg(cmd).Set(45, 1), -1, "TLV_ERROR: MSG length (44) does not match internal length (430."},
        {TlvMsg(cmd).SetLen(46), -1, "TLV_ERROR: MSG length (43) does not match internal length (420."},
        {TlvMsg(cmd).Set(46, 0xED), -1, "TLV_ERROR: MSG is missing ending TLV: 0xEE"},
        {TlvMsg().Add(TLV_CMDARG, "ab").Add(TLV_SRC, "/s").Add(TLV_DST, "/d").End(), -3,
         "TLV_ERROR: MSG needs a CMD"},
        {TlvMsg().Add(TLV_CMD, "CR").Add(TLV_CMDARG, "ab").Add(TLV_DST, "/d").End(), -3,
         "TLV_ERROR: :CR MSG needs a SRC"},
        {TlvMsg(cmd).End(), -1, "TLV_ERROR: :CR MSG has too many ending TLV: 0xEE"},
        {TlvMsg::Command(0xF0), -2, "TLV_ERROR: :CR MSG needs a known CATagory. CAT=0xf0"},
        {TlvMsg(17).Add(TLV_CMD, "CR").Add(TLV_RSPARG, "r").Add(TLV_SRC, "/s").Add(TLV_DST, "/d").End(), -3,
         "TLV_ERROR: MSG :CR RSP needs a CMDARG"},
        {TlvMsg::Command(17), 0, "TLV_WARNING: MSG :CR RSP needs a RSPARG fr_ztCtlD /to_ztnet"},
        {TlvMsg().Add(TLV_CMD, "CR").Add(TLV_SRC, "/s").Add(TLV_DST, "/d").End(), -3,
         "TLV_ERROR: MSG :CR CMD needs a CMDARG"},
        {cmd, 0, ""},
        {TlvMsg(0xEF).Add(TLV_CMD, "CR").Add(TLV_CMDARG, "a").Add(TLV_RSPARG, "r").Add(TLV_SRC, "/s")
             .Add(TLV_DST, "/d").End(), 0, ""},
        {TlvMsg().Add(TLV_DST, "/d").Add(TLV_SRC, "/s").Add(TLV_CMDARG, "x").Add(TLV_CMD, "ZZ").End(), 0, ""},
        // The command ends the message: its text, read in place, must stop at the message end.
        {TlvMsg().Add(TLV_CMDARG, "a").Add(TLV_SRC, "/s").Add(TLV_CMD, "Q\xEE"), -3,
         "TLV_ERROR: :Q\xEE MSG needs a DST"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.empty() ? "valid" : row.text);
        auto exact = row.m.Exact();
        const auto before = exact;
        int rc = 0;
        auto lines = zttest::StdoutLines([&] { rc = tlv_validate(exact.data()); });
        EXPECT_EQ(rc, row.rc);
        EXPECT_EQ(lines, row.text.empty() ? std::vector<std::string>() : std::vector<std::string>{row.text});
        EXPECT_EQ(exact, before) << "validation never writes";
    }
}

TEST(TlvValidate, MessagesNeedVerbosityAbove15AndCarryTimestamp)
{
    TlvMsg m = TlvMsg::Command(0xF0);
    g_debug_level = 0x4000000Fu;
    EXPECT_EQ(zttest::Captured(1, [&] { EXPECT_EQ(tlv_validate(m.buf), -2); }), "");
    g_debug_level = zttest::kTraceToStdout;
    EXPECT_THAT(zttest::Captured(1, [&] { tlv_validate(m.buf); }),
                testing::MatchesRegex("[A-Z][a-z][a-z][ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] "
                                      "TLV_ERROR: :CR MSG needs a known CATagory\\. CAT=0xf0\n"));
}

}  // namespace
