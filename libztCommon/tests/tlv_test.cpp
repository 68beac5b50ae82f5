// TLV layout, appends, search, void and remove, and the walk over lying lengths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ztTestUtil.h"

using testing::ElementsAreArray;
using testing::HasSubstr;
using zttest::TlvMsg;

namespace {

const int kTypes[] = {TLV_CMD, TLV_CMDARG, TLV_DST, TLV_SRC, TLV_RSPARG, TLV_VOID, TLV_END};

TEST(TlvBuild, CommandMessageHasTheDocumentedBytes)
{
    unsigned char buf[ZTMSG_MAX];
    memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(sntlv_msg_init(buf, sizeof buf, 16), 4);
    const unsigned char arg[2] = {0x01, 0x02};
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_CMD, 2, "CR"), 6);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_CMDARG, 2, arg), 6);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_SRC, 10, "/to_ztCtlD"), 14);
    EXPECT_EQ(sntlv_add_bin(buf, sizeof buf, TLV_DST, 9, "/to_ztnet"), 13);
    EXPECT_EQ(sntlv_add_dat(buf, sizeof buf, TLV_END, 0, 0xFFFFFFFFu), 4);
    EXPECT_EQ(sntlv_msg_len(buf), 47);

    const unsigned char expected[47] = {
        0x00, 0x2F, 0x00, 0x10,                             // header
        0x00, 0x00, 0x02, 'A', 'C', 'R',                    // command
        0x00, 0x00, 0x02, 'B', 0x01, 0x02,                  // argument
        0x00, 0x00, 0x0A, 'D', '/', 't', 'o', '_', 'z', 't', 'C', 't', 'l', 'D',
        0x00, 0x00, 0x09, 'C', '/', 't', 'o', '_', 'z', 't', 'n', 'e', 't',
        0x00, 0x00, 0x00, 0xEE,                             // end
    };
    EXPECT_THAT(std::vector<unsigned char>(buf, buf + 47), ElementsAreArray(expected));
    EXPECT_EQ(buf[47], 0xAA) << "nothing written past the message";
    EXPECT_EQ(tlv_validate(buf), 0);
}

TEST(TlvBuild, LengthsAreBigEndianSixteenBit)
{
    TlvMsg m;
    std::string value(300, 'v');
    EXPECT_EQ(sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_CMDARG, 300, value.data()), 304);
    EXPECT_EQ(m.buf[4 + 1], 0x01);
    EXPECT_EQ(m.buf[4 + 2], 0x2C);
    EXPECT_EQ(m.buf[0], 0x01);
    EXPECT_EQ(m.buf[1], 0x34);
    EXPECT_EQ(m.Len(), 308);
}

TEST(TlvBuild, HeaderLengthIsReadAsSigned)
{
    TlvMsg m;
    m.SetLen(0x8001);
    EXPECT_EQ(sntlv_msg_len(m.buf), -32767);
}

TEST(TlvBuild, EmptyMessageFindsNothing)
{
    TlvMsg m;
    for (int type : kTypes)
        EXPECT_EQ(tlv_find(m.buf, type), nullptr) << type;
}

TEST(TlvBuild, AppendThatDoesNotFitChangesNothing)
{
    unsigned char buf[32] = {};
    sntlv_msg_init(buf, sizeof buf, 16);
    unsigned char before[32];
    // Room for the header of the new element is missing entirely.
    memcpy(before, buf, sizeof buf);
    EXPECT_EQ(sntlv_add_bin(buf, 7, TLV_CMD, 0, ""), 0);
    EXPECT_EQ(memcmp(before, buf, sizeof buf), 0);
    // One byte of the value is missing.
    EXPECT_EQ(sntlv_add_bin(buf, 4 + 4 + 5 - 1, TLV_CMDARG, 5, "abcde"), 0);
    EXPECT_EQ(memcmp(before, buf, sizeof buf), 0);
    // Exactly fits.
    EXPECT_EQ(sntlv_add_bin(buf, 4 + 4 + 5, TLV_CMDARG, 5, "abcde"), 9);
    EXPECT_EQ(sntlv_msg_len(buf), 13);
}

TEST(TlvBuild, FullBufferRefusesBeforeCheckingNames)
{
    unsigned char buf[8] = {};
    sntlv_msg_init(buf, sizeof buf, 16);
    // An empty SRC that could not fit anyway is simply refused.
    EXPECT_EQ(sntlv_add_bin(buf, 7, TLV_SRC, 0, ""), 0);
}

TEST(TlvBuild, AddDatTakesValueBytesAsTheyLieInMemory)
{
    TlvMsg m;
    uint32_t v = 0x11223344u;
    EXPECT_EQ(sntlv_add_dat(m.buf, ZTMSG_MAX, TLV_CMDARG, 4, v), 8);
    EXPECT_EQ(memcmp(m.buf + 8, &v, 4), 0);
    EXPECT_EQ(sntlv_add_dat(m.buf, ZTMSG_MAX, TLV_CMDARG, 5, v), 0) << "beyond the argument";
    EXPECT_EQ(m.Len(), 12);
}

TEST(TlvFind, FindsFirstOfTypeAndCopiesValue)
{
    TlvMsg m = TlvMsg::Command();
    unsigned char* src = tlv_find(m.buf, TLV_SRC);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src, m.buf + 16);
    EXPECT_EQ(src[0], 0);
    EXPECT_EQ(memcmp(src + 4, "/to_ztCtlD", 10), 0);
    EXPECT_EQ(tlv_find(m.buf, TLV_RSPARG), nullptr);

    char dst[16];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(sntlv_find(dst, 11, TLV_SRC, m.buf), 10);
    EXPECT_EQ(std::string(dst, 10), "/to_ztCtlD");
    EXPECT_EQ(dst[10], '#') << "no terminator added";
}

TEST(TlvFind, CopyNeedsStrictlyLargerDestination)
{
    TlvMsg m = TlvMsg::Command();
    char dst[16];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(sntlv_find(dst, 10, TLV_SRC, m.buf), 0);
    EXPECT_EQ(dst[0], '#');
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_RSPARG, m.buf), 0);
}

TEST(TlvFind, FirstOfTwoElementsWins)
{
    TlvMsg m;
    m.Add(TLV_CMDARG, "one").Add(TLV_CMDARG, "two").End();
    char dst[8] = {};
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, m.buf), 3);
    EXPECT_STREQ(dst, "one");
}

TEST(TlvEdit, VoidBlanksElementAndKeepsLength)
{
    TlvMsg m;
    m.Add(TLV_CMDARG, "one").Add(TLV_CMDARG, "two").End();
    int len = m.Len();
    sntlv_void(m.buf, TLV_CMDARG);
    EXPECT_EQ(m.Len(), len);
    unsigned char* voided = tlv_find(m.buf, TLV_VOID);
    ASSERT_EQ(voided, m.buf + 4);
    EXPECT_EQ(voided[2], 3) << "length kept";
    EXPECT_EQ(voided[4], 0);
    EXPECT_EQ(voided[5], 0);
    EXPECT_EQ(voided[6], 0);
    char dst[8] = {};
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, m.buf), 3);
    EXPECT_STREQ(dst, "two");
}

TEST(TlvEdit, RemoveEndThenAppendMore)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "x").Add(TLV_SRC, "/a_src").End();
    int len = m.Len();
    EXPECT_EQ(sntlv_remove(m.buf, ZTMSG_MAX, TLV_END), -4);
    EXPECT_EQ(m.Len(), len - 4);
    EXPECT_EQ(tlv_find(m.buf, TLV_END), nullptr);
    m.Add(TLV_DST, "/a_dst").End();
    EXPECT_EQ(tlv_validate(m.buf), 0);
}

TEST(TlvEdit, RemoveReturnsMinusElementSize)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_RSPARG, "12345");
    EXPECT_EQ(sntlv_remove(m.buf, 0, TLV_RSPARG), -9);
    EXPECT_EQ(m.Len(), 10);
}

TEST(TlvChars, ItoIWritesLowOrderBytesMostSignificantFirst)
{
    char dst[8];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 2, 0x11224352u), 2);
    EXPECT_EQ(std::string(dst, 2), "CR");
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 4, 0x41424344u), 4);
    EXPECT_EQ(std::string(dst, 4), "ABCD");
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 1, 0x41424344u), 1);
    EXPECT_EQ(dst[0], 'D');
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 0, 0x41u), 0);
    EXPECT_EQ(snLoclItoI(dst, sizeof dst, 5, 0x41u), 0);
    EXPECT_EQ(dst[0], '#');
    EXPECT_EQ(snLoclItoI(dst, 3, 4, 0x41424344u), 3) << "bounded by the destination size";
    EXPECT_EQ(dst[3], '#');
}

TEST(TlvChars, LoclbinCopiesOnlyWhatFits)
{
    char dst[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(snLoclbin(dst, 4, 5, "abcde"), 0);
    EXPECT_EQ(snLoclbin(dst, 4, 0, "abcde"), 0);
    EXPECT_EQ(dst[0], '#');
    EXPECT_EQ(snLoclbin(dst, 4, 4, "abcd"), 4);
    EXPECT_EQ(std::string(dst, 4), "abcd");
}

// Buffers exactly as long as the message: any read past the total length trips ASan.
std::unique_ptr<unsigned char[]> Exact(const TlvMsg& m)
{
    std::unique_ptr<unsigned char[]> p(new unsigned char[m.Len()]);
    memcpy(p.get(), m.buf, m.Len());
    return p;
}

TEST(TlvWalk, LyingElementLengthStopsTheWalk)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, "abc").Add(TLV_SRC, "/src").End();
    m.buf[4 + 6 + 1] = 0xFF;  // CMDARG claims 0xFF03 bytes
    auto exact = Exact(m);
    EXPECT_NE(tlv_find(exact.get(), TLV_CMD), nullptr);
    EXPECT_NE(tlv_find(exact.get(), TLV_CMDARG), nullptr);
    EXPECT_EQ(tlv_find(exact.get(), TLV_SRC), nullptr);
    EXPECT_EQ(tlv_find(exact.get(), TLV_END), nullptr);
    char dst[ZTMSG_MAX];
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_CMDARG, exact.get()), 0) << "value runs past the message";
    EXPECT_EQ(tlv_validate(exact.get()), -1);
    sntlv_void(exact.get(), TLV_CMDARG);  // clears only bytes inside the message
    EXPECT_EQ(exact[m.Len() - 1], 0);
}

TEST(TlvWalk, TotalLengthShorterThanElements)
{
    TlvMsg m = TlvMsg::Command();
    m.SetLen(20);  // cuts the source element in half
    auto exact = Exact(m);
    EXPECT_NE(tlv_find(exact.get(), TLV_CMDARG), nullptr);
    EXPECT_NE(tlv_find(exact.get(), TLV_SRC), nullptr) << "its header at 16..19 still fits";
    char dst[32];
    EXPECT_EQ(sntlv_find(dst, sizeof dst, TLV_SRC, exact.get()), 0);
    EXPECT_EQ(tlv_find(exact.get(), TLV_DST), nullptr);
    EXPECT_EQ(tlv_validate(exact.get()), -1);
}

TEST(TlvWalk, TruncatedElementHeaderIsNotRead)
{
    TlvMsg m;
    m.Add(TLV_CMD, "CR");
    m.SetLen(4 + 6 + 2);  // two bytes of a next header only
    auto exact = Exact(m);
    EXPECT_EQ(tlv_find(exact.get(), 0), nullptr);
    EXPECT_NE(tlv_find(exact.get(), TLV_CMD), nullptr);
}

TEST(TlvWalk, NeverPastMaximumWhateverTheHeaderSays)
{
    std::unique_ptr<unsigned char[]> buf(new unsigned char[ZTMSG_MAX]);
    memset(buf.get(), 0, ZTMSG_MAX);  // elements of length 0, type 0
    buf[0] = 0x7F;
    buf[1] = 0xFF;
    EXPECT_EQ(tlv_find(buf.get(), TLV_END), nullptr);
    EXPECT_EQ(tlv_find(buf.get(), 0), buf.get() + 4);
    EXPECT_EQ(tlv_validate(buf.get()), -1);
    buf[ZTMSG_MAX - 1] = TLV_END;  // type byte of the last element that fits
    EXPECT_EQ(tlv_find(buf.get(), TLV_END), buf.get() + ZTMSG_MAX - 4);
}

TEST(TlvWalk, NegativeTotalLengthFindsNothing)
{
    TlvMsg m = TlvMsg::Command();
    m.SetLen(0xFFF0);
    EXPECT_EQ(tlv_find(m.buf, TLV_CMD), nullptr);
    EXPECT_EQ(tlv_validate(m.buf), -1);
}

class TlvDeath : public testing::Test {
protected:
    zttest::GlobalsGuard guard;
};

TEST_F(TlvDeath, EmptySourceNameEndsProcess)
{
    TlvMsg m;
    EXPECT_EXIT(sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_SRC, 0, ""), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("\033[31mASSERT:libztCommon/src/ztTlv.c/sntlv_add_bin:"),
                               HasSubstr(":(atype != TLV_SRC) || (alen > 0)\n\033[0m")));
}

TEST_F(TlvDeath, EmptyDestinationNameEndsProcess)
{
    TlvMsg m;
    EXPECT_EXIT(sntlv_add_bin(m.buf, ZTMSG_MAX, TLV_DST, 0, ""), testing::ExitedWithCode(255),
                HasSubstr(":(atype != TLV_DST) || (alen > 0)\n"));
}

TEST_F(TlvDeath, VoidOfAbsentElementEndsProcess)
{
    TlvMsg m = TlvMsg::Command();
    EXPECT_EXIT(sntlv_void(m.buf, TLV_RSPARG), testing::ExitedWithCode(255),
                HasSubstr("ASSERT:libztCommon/src/ztTlv.c/sntlv_void:"));
    EXPECT_EXIT(sntlv_void(m.buf, TLV_RSPARG), testing::ExitedWithCode(255), HasSubstr(":tlv != NULL\n"));
}

TEST_F(TlvDeath, RemoveOfAbsentElementEndsProcess)
{
    TlvMsg m;
    EXPECT_EXIT(sntlv_remove(m.buf, ZTMSG_MAX, TLV_END), testing::ExitedWithCode(255),
                testing::AllOf(HasSubstr("ASSERT:libztCommon/src/ztTlv.c/sntlv_remove:"),
                               HasSubstr(":tlvend != NULL\n")));
}

TEST_F(TlvDeath, QuietAssertionStillEndsProcess)
{
    g_debug_level = 0x40000007u;  // verbosity 7: no ASSERT line anywhere
    TlvMsg m;
    EXPECT_EXIT(sntlv_void(m.buf, TLV_CMD), testing::ExitedWithCode(255),
                testing::Not(HasSubstr("ASSERT")));
}

}  // namespace
