// Element-66 bytes: packed structures byte for byte, scalars, hex, and how the command line's
// argument forms combine. Commands are named by their documented ids.
#include "arg_builder.h"

#include <gmock/gmock.h>

#include <tuple>

using namespace ztclient;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

namespace {

// Bytes placed at an offset: a text, or a little-endian number of `width` bytes.
struct Put {
    Put(size_t offset, std::string text) : at(offset), bytes(std::move(text)) {}
    Put(size_t offset, long long value, int width = 4) : at(offset), bytes(width, '\0') {
        for (int k = 0; k < width; k++) bytes[k] = (char)(value >> (8 * k));
    }
    size_t at;
    std::string bytes;
};

}  // namespace

TEST(Structures, LayoutsByteForByte) {
    const std::string a259(259, 'a'), p70(70, 'p'), n32(32, 'n');
    // Command, flags, structure size, and what it holds (every other byte is zero).
    const std::tuple<uint32_t, FlagList, size_t, std::vector<Put>> rows[] = {
        {30, {{"id", "144"}, {"value", "0x01020304"}}, 8, {{0, 144}, {4, 0x01020304}}},
        {5, {{"sub-mode", "4"}, {"mode", "0"}}, 8, {{4, 4}}},
        {88, {{"button", "17"}, {"state", "3"}}, 8, {{0, 17}, {4, 3}}},
        {88, {{"button-type", "16"}, {"button-value", "-1"}}, 8, {{0, 16}, {4, -1}}},  // older names
        {51, {{"exposure", "3"}, {"x", "30"}, {"y", "70"}, {"extra", "2"}}, 16, {{0, 3}, {4, 30}, {8, 70}, {12, 2}}},
        {51, {{"exposure-mode", "1"}, {"x", "30"}, {"y", "70"}}, 16, {{0, 1}, {4, 30}, {8, 70}}},
        {8, {{"file", "G"}, {"tag-type", "2"}, {"offset", "1500"}}, 268, {{0, 2}, {4, "G"}, {264, 1500}}},
        {8, {{"file", a259}}, 268, {{4, a259}}},  // the NUL takes byte 263
        {17, {{"ssid", "cam"}, {"password", "pw"}, {"flag", "1"}}, 108, {{0, "cam"}, {33, "pw"}, {104, 1}}},
        {17, {{"ssid", "a"}, {"password", p70}}, 108, {{0, "a"}, {33, p70}}},
        {21, {{"ssid", n32}, {"password", "pw"}, {"auth-type", "3"}}, 104, {{0, n32}, {33, "pw"}, {100, 3}}},
        {22, {{"ssid", n32}, {"auth-type", "3"}}, 104, {{0, n32}, {100, 3}}},
        {0, {{"queue", "/q"}}, 7, {{0, 1}, {4, "/q"}}},  // registers by default
        {0, {{"register", "0"}, {"queue", "/q"}}, 7, {{4, "/q"}}},
        {46, {{"file", "a"}, {"word", "0=7"}, {"word", "10=0x100"}}, 304, {{0, "a"}, {260, 7}, {300, 256}}},
        {47, {{"file", "b"}, {"words", "1,2,3"}}, 272, {{0, "b"}, {260, 1}, {264, 2}, {268, 3}}},
        {49, {{"job-id", "0x0102030405060708"}}, 8, {{0, 0x0102030405060708, 8}}},
        {50, {{"job-id", "18446744073709551615"}}, 8, {{0, -1, 8}}},
    };
    for (const auto& [id, flags, size, puts] : rows) {
        SCOPED_TRACE(::testing::Message() << "command " << id << " --" << flags[0].first);
        Bytes expected(size, 0), out;
        for (const Put& put : puts) std::copy(put.bytes.begin(), put.bytes.end(), &expected[put.at]);
        std::string error;
        EXPECT_TRUE(buildStructure(argFamilyOf(id), flags, out, error)) << error;
        EXPECT_EQ(out, expected);
    }
}

TEST(Structures, Refusals) {
    const std::tuple<uint32_t, FlagList, const char*> rows[] = {
        {8, {{"file", std::string(260, 'a')}}, "at most 259"},
        {17, {{"ssid", "a"}, {"password", std::string(71, 'p')}}, "at most 70"},
        {22, {{"ssid", std::string(33, 'n')}}, "at most 32"},
        {0, {{"queue", std::string(256, 'q')}}, "at most 255"},
        {48, {{"file", "c"}, {"word", "3=1"}}, "out of range 0..2"},
        {48, {{"file", "c"}, {"words", "1,2,3,4"}}, "out of range"},
        {46, {{"file", "c"}, {"word", "7"}}, "INDEX=VALUE"},
        {46, {{"file", "c"}, {"words", "1,,2"}}, "not a 32-bit number"},
        {50, {{"job-id", "-1"}}, "unsigned 64-bit"},
        {50, {{"job-id", "18446744073709551616"}}, "unsigned 64-bit"},
        {30, {{"id", "1"}}, "missing --value"},
        {30, {{"id", "1"}, {"value", "2"}, {"ssid", "x"}}, "--ssid does not apply"},
        {30, {{"id", "4294967296"}, {"value", "0"}}, "--id expects a 32-bit number"},
        {3, {{"id", "1"}}, "no structure flags"},
    };
    for (const auto& [id, flags, message] : rows) {
        Bytes out;
        std::string error;
        EXPECT_FALSE(buildStructure(argFamilyOf(id), flags, out, error)) << message;
        EXPECT_THAT(error, HasSubstr(message));
    }
    EXPECT_TRUE(isStructureFlag("words"));
    EXPECT_FALSE(isStructureFlag("json"));
}

TEST(Scalars, WidthsRangesAndHex) {
    const Bytes ff4(4, 0xff), refused;
    // Text, width (0: hex bytes), accepted, bytes.
    const std::tuple<const char*, int, bool, Bytes> rows[] = {
        {"255", 1, true, {255}},
        {"256", 1, false, refused},
        {"-1", 1, false, refused},
        {"0x1234", 2, true, {0x34, 0x12}},
        {"65536", 2, false, refused},
        {"-1", 4, true, ff4},
        {"4294967295", 4, true, ff4},
        {"4294967296", 4, false, refused},
        {"-2147483648", 4, true, {0, 0, 0, 0x80}},
        {"-2147483649", 4, false, refused},
        {"12abc", 4, false, refused},
        {" 1", 4, false, refused},
        {"", 4, false, refused},
        {"01 ff:A0-7e", 0, true, {1, 0xff, 0xa0, 0x7e}},
        {"", 0, true, {}},
        {"123", 0, false, refused},
        {"1 2", 0, false, refused},
        {"0g", 0, false, refused},
    };
    for (const auto& [text, width, accepted, bytes] : rows) {
        SCOPED_TRACE(::testing::Message() << "'" << text << "' width " << width);
        Bytes out;
        std::string error;
        bool ok = width ? buildScalar(text, width, out, error) : parseHexBytes(text, out, error);
        EXPECT_EQ(ok, accepted);
        EXPECT_EQ(error.empty(), ok);
        EXPECT_EQ(out, ok ? bytes : out);
    }
    Bytes withNul;
    buildText("ab", withNul);
    EXPECT_EQ(withNul, (Bytes{'a', 'b', 0}));
}

TEST(ArgumentForms, OneFormReadByTheCommandsKind) {
    const FlagList none;
    const std::vector<std::string> one = {"1"}, nothing;
    // Command, its kind, the options, the refusal (nullptr: accepted), the bytes (empty: no element 66).
    const std::tuple<uint32_t, ZtArgKind, ArgumentOptions, const char*, Bytes> rows[] = {
        {3, ZT_ARG_U8, {none, none, one}, nullptr, {1}},
        {67, ZT_ARG_U16, {none, none, one}, nullptr, {1, 0}},
        {4, ZT_ARG_U32, {none, none, one}, nullptr, {1, 0, 0, 0}},
        {9, ZT_ARG_TEXT, {none, none, one}, nullptr, {'1', 0}},
        {30, ZT_ARG_BYTES, {none, none, one}, "or its structure flags", {}},
        {10, ZT_ARG_NONE, {}, nullptr, {}},
        // Sent even to a command that takes none: the daemon's refusal is what the user wants to see.
        {10, ZT_ARG_NONE, {{{"u8", "1"}}, none, nothing}, nullptr, {1}},
        {3, ZT_ARG_U8, {{{"u8", "1"}}, none, one}, "one way only", {}},
        // Protobuf requests: text format as a value or with --proto, or the serialized bytes.
        {76, ZT_ARG_PROTOBUF, {}, nullptr, {}},
        {76, ZT_ARG_PROTOBUF, {{{"proto", "preset_id: 1"}}, none, nothing}, nullptr, {8, 1}},
        {76, ZT_ARG_PROTOBUF, {none, none, {"preset_id: 65537"}}, nullptr, {8, 0x81, 0x80, 0x04}},
        {75, ZT_ARG_PROTOBUF, {none, none, {"order: 2 preset_id: 3"}}, nullptr, {8, 3, 0x10, 2}},
        {76, ZT_ARG_PROTOBUF, {{{"proto", "preset: 1"}}, none, nothing}, "has no field named \"preset\"", {}},
        {76, ZT_ARG_PROTOBUF, {{{"proto", "preset_id: -1"}}, none, nothing}, "ZTC_Preset_Load_Req", {}},
        {70, ZT_ARG_NONE, {{{"proto", "group_id: 1"}}, none, nothing}, "takes no protobuf request", {}},
        {76, ZT_ARG_PROTOBUF, {{{"hex", "08 01"}}, none, nothing}, nullptr, {8, 1}},
    };
    for (const auto& [id, kind, options, refusal, expected] : rows) {
        SCOPED_TRACE(::testing::Message() << "command " << id);
        bool has = true;
        Bytes bytes{9};  // stale bytes of an earlier call must not survive
        std::string error;
        EXPECT_EQ(buildArgument(id, kind, options, has, bytes, error), refusal == nullptr);
        if (refusal) {
            EXPECT_THAT(error, HasSubstr(refusal));
            continue;
        }
        EXPECT_EQ(has, !expected.empty());
        EXPECT_EQ(bytes, expected);
    }
}
