// TLV layout, appends, search, void and remove, the walk over lying lengths, the fatal
// programming errors, and tlv_validate's every step. Random input is the TLV fuzz target's job.
#include <cstring>
#include <tuple>

#include "ztTestUtil.h"

using zttest::TlvMsg;

namespace {

TEST(Tlv, CommandMessageHasTheDocumentedBytes)
{
    unsigned char buf[ZTMSG_MAX];
    memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(sntlv_msg_init(buf, 0, 16), 4);
    for (int type : {TLV_CMD, TLV_CMDARG, TLV_DST, TLV_SRC, TLV_RSPARG, TLV_VOID, TLV_END})
        EXPECT_EQ(tlv_find(buf, type), nullptr) << "empty message, type " << type;
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_CMD, 2, "CR"), 6);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_CMDARG, 2, "\x01\x02"), 6);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_SRC, 10, "/to_ztCtlD"), 14);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_DST, 9, "/to_ztnet"), 13);
    EXPECT_EQ(sntlv_add_dat(buf, sizeof buf, TLV_END, 0, 0xFFFFFFFFu), 4);
    // Header, CMD, CMDARG, SRC, DST, END; nothing written past the message.
    EXPECT_EQ(std::string((char*)buf, 48), std::string("\0\x2F\0\x10" "\0\0\x02" "ACR" "\0\0\x02" "B\x01\x02"
                                                       "\0\0\x0A" "D/to_ztCtlD" "\0\0\x09" "C/to_ztnet"
                                                       "\0\0\0\xEE" "\xAA", 48));
    EXPECT_EQ(tlv_validate(buf), 0);

    TlvMsg m;  // both length fields big-endian, 16-bit
    EXPECT_EQ(sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_CMDARG, 300, std::string(300, 'v').data()), 304);
    EXPECT_EQ(std::string((char*)m.buf, 8), std::string("\x01\x34\0\x10\0\x01\x2C" "B", 8));
}

TEST(Tlv, AppendsOnlyWhatFitsWhole)
{
    unsigned char buf[32] = {}, before[32];
    sntlv_msg_init(buf, sizeof buf, 16);
    memcpy(before, buf, sizeof buf);
    EXPECT_EQ(sntlv_add_bin(buf, 7, TLV_CMD, 0, ""), 0) << "no room for the element header";
    EXPECT_EQ(sntlv_add_bin(buf, 7, TLV_SRC, 0, ""), 0) << "refused before the empty name is looked at";
    EXPECT_EQ(sntlv_add_bin(buf, 12, TLV_CMDARG, 5, "abcde"), 0) << "one value byte short";
    EXPECT_EQ(sntlv_add_dat(buf, 32, TLV_CMDARG, 5, 0), 0) << "beyond the by-value argument";
    EXPECT_EQ(memcmp(before, buf, sizeof buf), 0);
    EXPECT_EQ(sntlv_add_bin(buf, 13, TLV_CMDARG, 5, "abcde"), 9) << "exactly fits";
    uint32_t v = 0x11223344u;
    EXPECT_EQ(sntlv_add_dat(buf, 32, TLV_CMDARG, 4, v), 8);
    EXPECT_EQ(memcmp(buf + 17, &v, 4), 0) << "the value's bytes as they lie in memory";
    EXPECT_EQ(sntlv_msg_len(buf), 21);
}

TEST(Tlv, FindAndCopyTheFirstOfAType)
{
    TlvMsg m = TlvMsg::Command();
    m.Add(TLV_CMDARG, "second");
    EXPECT_EQ(tlv_find(m.buf, TLV_SRC), m.buf + 16);
    EXPECT_EQ(tlv_find(m.buf, TLV_CMDARG), m.buf + 10);
    EXPECT_EQ(tlv_find(m.buf, TLV_RSPARG), nullptr);
    char dst[16];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(sntlv_find(dst, 10, TLV_SRC, m.buf), 0) << "destination exactly as large as the value";
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_RSPARG, m.buf), 0);
    EXPECT_EQ(dst[0], '#');
    EXPECT_EQ(sntlv_find(dst, 11, TLV_SRC, m.buf), 10);
    EXPECT_EQ(std::string(dst, 11), "/to_ztCtlD#") << "no terminator added";
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, m.buf), 2);
}

TEST(Tlv, VoidAndRemove)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "one").Add(TLV_CMDARG, "two").Add(TLV_SRC, "/s").End();
    int len = m.Len();
    sntlv_void(m.buf, TLV_CMDARG);
    EXPECT_EQ(m.Len(), len);
    ASSERT_EQ(tlv_find(m.buf, TLV_VOID), m.buf + 10);
    EXPECT_EQ(std::string((char*)m.buf + 10, 7), std::string("\0\0\x03X\0\0\0", 7));
    char dst[8] = {};
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, m.buf), 3);
    EXPECT_STREQ(dst, "two");

    EXPECT_EQ(sntlv_remove(m.buf, 0, TLV_END), -4);
    EXPECT_EQ(m.Len(), len - 4);
    EXPECT_EQ(tlv_find(m.buf, TLV_END), nullptr);
    m.Add(TLV_DST, "/d").End();
    EXPECT_EQ(tlv_validate(m.buf), 0);
    m.Add(TLV_RSPARG, "12345");
    EXPECT_EQ(sntlv_remove(m.buf, 0, TLV_RSPARG), -9);
}

TEST(Tlv, CharacterCopies)
{
    char dst[8];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 0, 0x41u) + snLoclItoI(dst, sizeof dst, 5, 0x41u), 0);
    EXPECT_EQ(snLoclbin(dst, 4, 5, "abcde") + snLoclbin(dst, 4, 0, "abcde"), 0);
    EXPECT_EQ(dst[0], '#');
    EXPECT_EQ(snLoclItoI(dst, 3, 4, 0x41424344u), 3) << "bounded by the destination";
    EXPECT_EQ(std::string(dst, 4), "ABC#");
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 2, 0x11224352u), 2);
    EXPECT_STREQ(dst, "CR");
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 1, 0x41424344u), 1);
    EXPECT_STREQ(dst, "D");
    EXPECT_EQ(snLoclbin(dst, 4, 4, "wxyz"), 4);
    EXPECT_EQ(std::string(dst, 4), "wxyz");
}

// Lying lengths, on buffers exactly as long as the header says (ASan sees any overrun).
TEST(Tlv, WalkStaysInsideTheMessage)
{
    TlvMsg lying;
    lying.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "abc").Add(TLV_SRC, "/src").End().Set(11, 0xFF);
    auto b = lying.Exact();  // CMDARG claims 0xFF03 bytes
    EXPECT_NE(tlv_find(b.data(), TLV_CMDARG), nullptr);
    EXPECT_EQ(tlv_find(b.data(), TLV_SRC), nullptr);
    char dst[ZTMSG_MAX];
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, b.data()), 0) << "value runs past the message";
    EXPECT_EQ(tlv_validate(b.data()), -1);
    sntlv_void(b.data(), TLV_CMDARG);
    EXPECT_EQ(b.back(), 0) << "cleared up to the message end only";

    b = TlvMsg::Command().SetLen(20).Exact();  // cuts the source element in half
    EXPECT_EQ(tlv_find(b.data(), TLV_SRC), b.data() + 16) << "its header at 16..19 still fits";
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_SRC, b.data()), 0);
    EXPECT_EQ(tlv_find(b.data(), TLV_DST), nullptr);

    b = TlvMsg().Add(TLV_CMD, "CR").SetLen(12).Exact();  // two bytes of a next header only
    EXPECT_EQ(tlv_find(b.data(), 0), nullptr);

    TlvMsg zeros;  // elements of length 0 and type 0 up to the maximum, whatever the header says
    zeros.SetLen(0x7FFF);
    EXPECT_EQ(tlv_find(zeros.buf, TLV_END), nullptr);
    EXPECT_EQ(tlv_find(zeros.buf, 0), zeros.buf + 4);
    zeros.Set(ZTMSG_MAX - 1, TLV_END);
    EXPECT_EQ(tlv_find(zeros.buf, TLV_END), zeros.buf + ZTMSG_MAX - 4);

    TlvMsg negative = TlvMsg::Command().SetLen(0xFFF0);
    EXPECT_EQ(sntlv_msg_len(negative.buf), -16) << "read as signed";
    EXPECT_EQ(tlv_find(negative.buf, TLV_CMD), nullptr);
}

TEST(Tlv, ProgrammingErrorsEndTheProcess)
{
    TlvMsg m;
    using zttest::ExpectAssert;
    ExpectAssert([&] { sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_SRC, 0, ""); }, "ztTlv.c/sntlv_add_bin",
                 "(atype != TLV_SRC) || (alen > 0)");
    ExpectAssert([&] { sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_DST, 0, ""); }, "ztTlv.c/sntlv_add_bin",
                 "(atype != TLV_DST) || (alen > 0)");
    ExpectAssert([&] { sntlv_void(m.buf, TLV_RSPARG); }, "ztTlv.c/sntlv_void", "tlv != NULL");
    ExpectAssert([&] { sntlv_remove(m.buf, ZTMSG_MAX, TLV_END); }, "ztTlv.c/sntlv_remove", "tlvend != NULL");
    g_debug_level = 0x40000007u;  // verbosity 7: no ASSERT line, the process still ends
    EXPECT_EXIT(sntlv_void(m.buf, TLV_CMD), testing::ExitedWithCode(255),
                testing::Not(testing::HasSubstr("ASSERT")));
}

// Each step's result and validation message, in order. (The trace threshold and timestamp of
// the message: Trace.FormsAndThresholds, through the same trace function.)
TEST(TlvValidate, EveryStepsResultAndMessage)
{
    g_debug_level = zttest::kTraceToStdout;
    const TlvMsg cmd = TlvMsg::Command();
    // The message, the result and the one trace line ("": none).
    const std::tuple<TlvMsg, int, std::string> rows[] = {
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
    for (const auto& [m, expectedRc, text] : rows) {
        SCOPED_TRACE(text.empty() ? "valid" : text);
        auto exact = m.Exact();
        const auto before = exact;
        int rc = 0;
        auto lines = zttest::StdoutLines([&] { rc = tlv_validate(exact.data()); });
        EXPECT_EQ(rc, expectedRc);
        EXPECT_EQ(lines, text.empty() ? std::vector<std::string>() : std::vector<std::string>{text});
        EXPECT_EQ(exact, before) << "validation never writes";
    }
}

}  // namespace
