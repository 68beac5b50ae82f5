// Hex dumps: hexline layout, hexprint's shortening rule, hexprint_noaddr grouping and the
// buffer dumps snhexdump / snhexdump0.
#include <cstring>

#include "ztTestUtil.h"

using zttest::Strings;

namespace {

struct Hexdump : testing::Test {
    Hexdump()
    {
        g_debug_level = zttest::kTraceToStdout;
        for (int i = 0; i < 256; i++)
            counting[i] = static_cast<unsigned char>(i);
    }
    unsigned char counting[256];
};

TEST_F(Hexdump, HexlineLayoutAndBounds)
{
    const unsigned char data[] = {'H', 'i', 0x00, 0x7F, 0x20, 0x7E};
    char line[98];
    unsigned addr = 0x1230;
    int idx = -2;  // two positions before the data
    EXPECT_EQ(hexline(line, sizeof line, "LBL", &addr, &idx, data, sizeof data), 74);
    EXPECT_STREQ(line, "LBL        00001230      4869 007f207e                      Hi.. ~        ");
    EXPECT_EQ(addr, 0x1240u);
    EXPECT_EQ(idx, 14);
    memset(line, '#', sizeof line);
    addr = idx = 0;
    EXPECT_EQ(hexline(line, 10, "LABEL", &addr, &idx, counting, 16), 9);
    EXPECT_EQ(std::string(line, 11), std::string("LABEL    \0#", 11));
}

TEST_F(Hexdump, HexprintShortensLongDumpsUnlessBit9)
{
    Strings lines = zttest::StdoutLines([&] { hexprint("DUMP", 0, counting, 200); });
    ASSERT_EQ(lines.size(), 1u + 4u + 3u) << "offsets 0 to 63 and 160 to 199";
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "DUMP       00000000  00010203 04050607 08090a0b 0c0d0e0f  ................");
    EXPECT_EQ(lines[4].substr(0, 23), "DUMP       00000030  30");
    EXPECT_EQ(lines[5].substr(0, 23), "DUMP       000000a0  a0");
    EXPECT_EQ(lines[7], "DUMP       000000c0  c0c1c2c3 c4c5c6c7                    ........        ");
    g_debug_level |= 0x200u;
    lines = zttest::StdoutLines([&] { hexprint("DUMP", 0, counting, 200); });
    ASSERT_EQ(lines.size(), 1u + 13u);
    EXPECT_EQ(lines[5].substr(0, 23), "DUMP       00000040  40");
    EXPECT_EQ(lines[13].substr(0, 23), "DUMP       000000c0  c0");

    // An unaligned address starts at the aligned line, positions before the data blank.
    EXPECT_EQ(zttest::StdoutLines([&] { hexprint("X", 0x1003, counting + 0x41, 20); }),
              Strings({"", "X          00001000        41 42434445 46474849 4a4b4c4d     ABCDEFGHIJKLM",
                       "X          00001010  4e4f5051 525354                      NOPQRST         "}));
}

TEST_F(Hexdump, NoaddrGroupsEndAtEndOfDataAndVerbosityAbove7)
{
    auto noaddr = [&](int n) { return zttest::StdoutLines([&] { hexprint_noaddr("L", 99, counting, n); }); };
    EXPECT_EQ(noaddr(6), Strings({"L0001 02030405"}));
    EXPECT_EQ(noaddr(3), Strings({"L 000102"}));
    EXPECT_EQ(noaddr(20), Strings({"L 00010203 04050607 08090a0b 0c0d0e0f", "L 10111213"}));
    EXPECT_EQ(noaddr(18), Strings({"L0001 02030405 06070809 0a0b0c0d 0e0f", "L1011"}));
    auto both = [&] {
        return noaddr(40).size() + zttest::StdoutLines([&] { hexprint("Q", 0, counting, 40); }).size();
    };
    g_debug_level = 0x40000008u;
    EXPECT_EQ(both(), 3u + 4u);
    g_debug_level = 0x40000007u;  // trace dumps need verbosity above 7
    EXPECT_EQ(both(), 0u);
}

TEST_F(Hexdump, BufferDumps)
{
    char out[512];
    EXPECT_EQ(snhexdump0(out, sizeof out, "ABCDEFGHIJKLMNOPQRST", 20, "> "), 162);
    EXPECT_STREQ(out,
                 "> 00000000  41 42 43 44  45 46 47 48  49 4A 4B 4C  4D 4E 4F 50  ABCDEFGHIJKLMNOP\n"
                 "> 00000010  51 52 53 54                                         QRST            \n");

    alignas(16) const char letters[32] = "abcdefghijklmnopqrstuvwxyzabcde";
    snhexdump(out, sizeof out, letters + 5, 11, "");  // real addresses from the aligned line
    char addr[32];
    snprintf(addr, sizeof addr, "%08lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(letters)));
    EXPECT_EQ(out, std::string(addr) + std::string(18, ' ') + "66 67 68  69 6A 6B 6C  6D 6E 6F 70" +
                       std::string(7, ' ') + "fghijklmnop\n");

    unsigned char repeats[112] = {};  // 4 zero lines, one of 'A', 2 zero lines
    memset(repeats + 64, 'A', 16);
    auto heads = [&](unsigned len) {
        snhexdump0(out, sizeof out, repeats, len, "");
        Strings found;
        for (const std::string& line : zttest::Lines(out))
            found.push_back(line.substr(0, 8));
        return found;
    };
    EXPECT_EQ(heads(sizeof repeats), Strings({"00000000", "...", "00000040", "00000050", "..."}))
        << "also a run at the end";
    EXPECT_EQ(heads(40), Strings({"00000000", "...", "00000020"})) << "a partial last line is never folded";

    snhexdump0(out, sizeof out, repeats, 0, "p");
    char expected[64];
    snprintf(expected, sizeof expected, "%p\n", static_cast<void*>(repeats));
    EXPECT_STREQ(out, expected) << "length 0 prints the pointer";
    memset(out, '#', sizeof out);
    EXPECT_EQ(snhexdump0(out, 25, counting, 64, ""), 24);
    EXPECT_EQ(std::string(out, 26), std::string(out, 24) + std::string("\0#", 2));
    EXPECT_EQ(snhexdump0(out, 0, counting, 64, ""), 0);
}

}  // namespace
