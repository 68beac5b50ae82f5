// Hex dumps: hexline layout, hexprint's shortening rule, hexprint_noaddr grouping and the
// buffer dumps snhexdump / snhexdump0.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ztTestUtil.h"

namespace {

std::vector<unsigned char> Counting(int n)
{
    std::vector<unsigned char> v(n);
    for (int i = 0; i < n; i++)
        v[i] = static_cast<unsigned char>(i);
    return v;
}

// Runs a trace dump and returns its stdout lines without timestamps.
template <typename F>
std::vector<std::string> DumpLines(F dump)
{
    zttest::FdCapture out(1);
    dump();
    std::vector<std::string> lines;
    for (const std::string& line : zttest::Lines(out.Stop()))
        lines.push_back(zttest::Untimed(line));
    return lines;
}

class Hexdump : public testing::Test {
protected:
    void SetUp() override { g_debug_level = zttest::kTraceToStdout; }
    zttest::GlobalsGuard guard;
};

TEST_F(Hexdump, HexlineLayoutAndAdvance)
{
    const unsigned char data[] = {'H', 'i', 0x00, 0x7F, 0x20, 0x7E};
    char line[98];
    unsigned addr = 0x1230;
    int idx = -2;  // two positions before the data
    int n = hexline(line, sizeof line, "LBL", &addr, &idx, data, sizeof data);
    EXPECT_STREQ(line, "LBL        00001230      4869 007f207e                      Hi.. ~        ");
    EXPECT_EQ(n, static_cast<int>(strlen(line)));
    EXPECT_EQ(addr, 0x1240u);
    EXPECT_EQ(idx, 14);
}

TEST_F(Hexdump, HexlineIsBoundedByDestination)
{
    auto data = Counting(16);
    char line[20];
    memset(line, '#', sizeof line);
    unsigned addr = 0;
    int idx = 0;
    int n = hexline(line, 10, "LABEL", &addr, &idx, data.data(), 16);
    EXPECT_EQ(n, 9);
    EXPECT_EQ(line[9], '\0');
    EXPECT_EQ(line[10], '#');
}

TEST_F(Hexdump, LongDumpIsShortened)
{
    auto data = Counting(200);
    auto lines = DumpLines([&] { hexprint("DUMP", 0, data.data(), 200); });
    ASSERT_EQ(lines.size(), 1u + 4u + 3u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "DUMP       00000000  00010203 04050607 08090a0b 0c0d0e0f  ................");
    EXPECT_EQ(lines[4].substr(0, 23), "DUMP       00000030  30");
    EXPECT_EQ(lines[5].substr(0, 23), "DUMP       000000a0  a0");
    EXPECT_EQ(lines[7], "DUMP       000000c0  c0c1c2c3 c4c5c6c7                    ........        ");
}

TEST_F(Hexdump, Bit9ShowsEveryLine)
{
    g_debug_level |= 0x200u;
    auto data = Counting(200);
    auto lines = DumpLines([&] { hexprint("DUMP", 0, data.data(), 200); });
    ASSERT_EQ(lines.size(), 1u + 13u);
    for (int i = 0; i < 13; i++) {
        char addr[16];
        snprintf(addr, sizeof addr, "%08x", i * 16);
        EXPECT_EQ(lines[1 + i].substr(11, 8), addr);
    }
}

TEST_F(Hexdump, UnalignedAddressStartsAtAlignedLine)
{
    const unsigned char data[] = "ABCDEFGHIJKLMNOPQRST";
    auto lines = DumpLines([&] { hexprint("X", 0x1003, data, 20); });
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "X          00001000        41 42434445 46474849 4a4b4c4d     ABCDEFGHIJKLM");
    EXPECT_EQ(lines[2], "X          00001010  4e4f5051 525354                      NOPQRST         ");
}

TEST_F(Hexdump, TraceDumpsNeedVerbosityAbove7)
{
    g_debug_level = (g_debug_level & ~0xFFu) | 7u;
    auto data = Counting(40);
    EXPECT_TRUE(DumpLines([&] { hexprint("Q", 0, data.data(), 40); }).empty());
    EXPECT_TRUE(DumpLines([&] { hexprint_noaddr("Q", 0, data.data(), 40); }).empty());
    g_debug_level = (g_debug_level & ~0xFFu) | 8u;
    EXPECT_EQ(DumpLines([&] { hexprint("Q", 0, data.data(), 40); }).size(), 4u);
}

TEST_F(Hexdump, NoaddrGroupsEndAtEndOfData)
{
    auto data = Counting(20);
    EXPECT_EQ(DumpLines([&] { hexprint_noaddr("L", 99, data.data(), 6); }),
              std::vector<std::string>({"L0001 02030405"}));
    EXPECT_EQ(DumpLines([&] { hexprint_noaddr("L", 0, data.data(), 3); }),
              std::vector<std::string>({"L 000102"}));
    EXPECT_EQ(DumpLines([&] { hexprint_noaddr("L", 0, data.data(), 20); }),
              std::vector<std::string>({"L 00010203 04050607 08090a0b 0c0d0e0f", "L 10111213"}));
    EXPECT_EQ(DumpLines([&] { hexprint_noaddr("L", 0, data.data(), 18); }),
              std::vector<std::string>({"L0001 02030405 06070809 0a0b0c0d 0e0f", "L1011"}));
}

TEST_F(Hexdump, BufferDumpFromOffsetZero)
{
    const char text[] = "ABCDEFGHIJKLMNOPQRST";
    char out[512];
    int n = snhexdump0(out, sizeof out, text, 20, "> ");
    EXPECT_STREQ(out,
                 "> 00000000  41 42 43 44  45 46 47 48  49 4A 4B 4C  4D 4E 4F 50  ABCDEFGHIJKLMNOP\n"
                 "> 00000010  51 52 53 54                                         QRST            \n");
    EXPECT_EQ(n, static_cast<int>(strlen(out)));
}

TEST_F(Hexdump, BufferDumpFoldsRepeatedLines)
{
    std::vector<unsigned char> data(64 + 16 + 32, 0);
    memset(data.data() + 64, 'A', 16);
    char out[2048];
    snhexdump0(out, sizeof out, data.data(), data.size(), "");
    auto lines = zttest::Lines(out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, 8), "00000000");
    EXPECT_EQ(lines[1], "...");
    EXPECT_EQ(lines[2].substr(0, 8), "00000040");
    EXPECT_EQ(lines[3].substr(0, 8), "00000050");
    EXPECT_EQ(lines[4], "...") << "a run that reaches the end is still marked";
}

TEST_F(Hexdump, BufferDumpWithRealAlignedAddresses)
{
    alignas(16) unsigned char data[32];
    for (int i = 0; i < 32; i++)
        data[i] = static_cast<unsigned char>('a' + i % 26);
    char out[512];
    snhexdump(out, sizeof out, data + 5, 11, "");
    char addr[32];
    snprintf(addr, sizeof addr, "%08lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(data)));
    EXPECT_EQ(std::string(out), std::string(addr) +
                                    "                  66 67 68  69 6A 6B 6C  6D 6E 6F 70       fghijklmnop\n");
}

TEST_F(Hexdump, BufferDumpEdgeCases)
{
    char out[64];
    int x = 0;
    snhexdump0(out, sizeof out, &x, 0, "p");
    char expected[64];
    snprintf(expected, sizeof expected, "%p\n", static_cast<void*>(&x));
    EXPECT_STREQ(out, expected);

    auto data = Counting(64);
    char small[30];
    memset(small, '#', sizeof small);
    int n = snhexdump0(small, 25, data.data(), 64, "");
    EXPECT_EQ(n, 24);
    EXPECT_EQ(small[24], '\0');
    EXPECT_EQ(small[25], '#');
    EXPECT_EQ(snhexdump0(small, 0, data.data(), 64, ""), 0);
}

}  // namespace
