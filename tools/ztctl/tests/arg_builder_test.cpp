// Element-66 bytes: packed structures byte for byte, scalars, hex, and how the command line's
// argument forms combine.
#include <gtest/gtest.h>
#include <string.h>

#include "arg_builder.h"

using namespace ztctl;

namespace {

std::vector<uint8_t> build(uint32_t id, const FlagList& flags) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(buildStructure(argFamilyOf(id), flags, out, error)) << error;
    return out;
}

std::string buildError(uint32_t id, const FlagList& flags) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(buildStructure(argFamilyOf(id), flags, out, error));
    return error;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

bool zeroFrom(const std::vector<uint8_t>& b, size_t from, size_t to) {
    for (size_t k = from; k < to; k++)
        if (b[k]) return false;
    return true;
}

}  // namespace

TEST(Structures, TwoWordStructuresAreLittleEndianPairs) {
    EXPECT_EQ(build(ZTCONTROL_SET_SETTING_ID, {{"id", "144"}, {"value", "0x01020304"}}),
              (std::vector<uint8_t>{144, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(build(ZTCONTROL_MODE_SUB_MODE, {{"sub-mode", "4"}, {"mode", "0"}}),
              (std::vector<uint8_t>{0, 0, 0, 0, 4, 0, 0, 0}));
    EXPECT_EQ(build(ZTCONTROL_SYSTEM_BUTTON_SET, {{"button-type", "16"}, {"button-value", "-1"}}),
              (std::vector<uint8_t>{16, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}));
}

TEST(Structures, LiveviewFourWordsWithDefaults) {
    EXPECT_EQ(build(ZTCONTROL_LIVEVIEW_MODE_SET, {{"exposure-mode", "1"}, {"x", "30"}, {"y", "70"}}),
              (std::vector<uint8_t>{1, 0, 0, 0, 30, 0, 0, 0, 70, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Structures, GlintTagPlacesNameAndWords) {
    auto b = build(ZTCONTROL_GLINT_TAG_PLAYBACK, {{"file", "GX01.MP4"}, {"tag-type", "2"}, {"offset", "1500"}});
    ASSERT_EQ(b.size(), 268u);
    EXPECT_EQ(le32(b, 0), 2u);
    EXPECT_EQ(memcmp(b.data() + 4, "GX01.MP4", 9), 0);  // with its NUL
    EXPECT_TRUE(zeroFrom(b, 13, 264));
    EXPECT_EQ(le32(b, 264), 1500u);
    // 259 characters fill the 260-byte field with the NUL; 260 do not fit.
    EXPECT_EQ(build(ZTCONTROL_GLINT_TAG_PLAYBACK, {{"file", std::string(259, 'a')}})[263], 0);
    EXPECT_NE(buildError(ZTCONTROL_GLINT_TAG_PLAYBACK, {{"file", std::string(260, 'a')}}).find("259"),
              std::string::npos);
}

TEST(Structures, AccessPointConfigLayout) {
    auto b = build(ZTCONTROL_WIFI_AP_SSID_CONFIG, {{"ssid", "cam"}, {"password", "secret"}, {"flag", "1"}});
    ASSERT_EQ(b.size(), 108u);
    EXPECT_STREQ((const char*)b.data(), "cam");
    EXPECT_STREQ((const char*)b.data() + 33, "secret");
    EXPECT_TRUE(zeroFrom(b, 40, 104));
    EXPECT_EQ(le32(b, 104), 1u);
    // The password field runs from byte 33 to the flag word: 70 characters and the NUL.
    EXPECT_EQ(build(ZTCONTROL_WIFI_AP_SSID_CONFIG, {{"ssid", "a"}, {"password", std::string(70, 'p')}})[103], 0);
    buildError(ZTCONTROL_WIFI_AP_SSID_CONFIG, {{"ssid", "a"}, {"password", std::string(71, 'p')}});
}

TEST(Structures, SsidSaveAndSelectShareTheLayout) {
    for (uint32_t id : {ZTCONTROL_WIFI_SSID_SAVE, ZTCONTROL_WIFI_SSID_SELECT}) {
        auto b = build(id, {{"ssid", std::string(32, 'n')}, {"password", "pw"}, {"auth-type", "3"}});
        ASSERT_EQ(b.size(), 104u);
        EXPECT_EQ(b[31], 'n');
        EXPECT_EQ(b[32], 0);
        EXPECT_STREQ((const char*)b.data() + 33, "pw");
        EXPECT_EQ(le32(b, 100), 3u);
        EXPECT_NE(buildError(id, {{"ssid", std::string(33, 'n')}}).find("32"), std::string::npos);
    }
}

TEST(Structures, QueueRegistrationEndsWithTheName) {
    EXPECT_EQ(build(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, {{"queue", "/q"}}),
              (std::vector<uint8_t>{1, 0, 0, 0, '/', 'q', 0}));  // registers by default
    EXPECT_EQ(build(ZTCONTROL_MQ_PUSH_NOTIFICATIONS, {{"register", "0"}, {"queue", "/q"}}),
              (std::vector<uint8_t>{0, 0, 0, 0, '/', 'q', 0}));
}

TEST(Structures, TranscodeRequestsPlaceWordsAfterTheNameField) {
    auto video = build(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, {{"file", "a.mp4"}, {"word", "0=7"}, {"word", "10=0x100"}});
    ASSERT_EQ(video.size(), 304u);
    EXPECT_STREQ((const char*)video.data(), "a.mp4");
    EXPECT_EQ(le32(video, 260), 7u);
    EXPECT_TRUE(zeroFrom(video, 264, 300));
    EXPECT_EQ(le32(video, 300), 256u);

    auto photo = build(ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST, {{"file", "b.jpg"}, {"words", "1,2,3"}});
    ASSERT_EQ(photo.size(), 272u);
    EXPECT_EQ(le32(photo, 260), 1u);
    EXPECT_EQ(le32(photo, 264), 2u);
    EXPECT_EQ(le32(photo, 268), 3u);

    EXPECT_NE(buildError(ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, {{"file", "c"}, {"word", "3=1"}}).find("0..2"),
              std::string::npos);
    EXPECT_NE(buildError(ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, {{"file", "c"}, {"words", "1,2,3,4"}}).find("range"),
              std::string::npos);
    buildError(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, {{"file", "c"}, {"word", "7"}});
    buildError(ZTCONTROL_TRANSCODE_VIDEO_REQUEST, {{"file", "c"}, {"words", "1,,2"}});
}

TEST(Structures, JobIdIsSixtyFourBits) {
    EXPECT_EQ(build(ZTCONTROL_TRANSCODE_STATUS, {{"job-id", "0x0102030405060708"}}),
              (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(build(ZTCONTROL_TRANSCODE_CANCEL, {{"job-id", "18446744073709551615"}}), std::vector<uint8_t>(8, 0xff));
    buildError(ZTCONTROL_TRANSCODE_CANCEL, {{"job-id", "-1"}});
}

TEST(Structures, RefusesForeignMissingAndBadFlags) {
    EXPECT_NE(buildError(ZTCONTROL_SET_SETTING_ID, {{"id", "1"}}).find("missing --value"), std::string::npos);
    EXPECT_NE(buildError(ZTCONTROL_SET_SETTING_ID, {{"id", "1"}, {"value", "2"}, {"ssid", "x"}}).find("--ssid"),
              std::string::npos);
    buildError(ZTCONTROL_SET_SETTING_ID, {{"id", "4294967296"}, {"value", "0"}});
    buildError(ZTCONTROL_SET_SETTING_ID, {{"id", "-2147483649"}, {"value", "0"}});
    buildError(ZTCONTROL_SET_SETTING_ID, {{"id", "12abc"}, {"value", "0"}});
    buildError(ZTCONTROL_SET_SETTING_ID, {{"id", " 1"}, {"value", "0"}});
    buildError(ZTCONTROL_COMMAND_SHUTTER, {{"id", "1"}});  // no structure at all
    EXPECT_TRUE(isStructureFlag("words"));
    EXPECT_FALSE(isStructureFlag("json"));
}

TEST(Scalars, WidthsAndRanges) {
    std::vector<uint8_t> b;
    std::string error;
    EXPECT_TRUE(buildScalar("255", 1, b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>{255}));
    EXPECT_FALSE(buildScalar("256", 1, b, error));
    EXPECT_FALSE(buildScalar("-1", 1, b, error));
    EXPECT_TRUE(buildScalar("0x1234", 2, b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_FALSE(buildScalar("65536", 2, b, error));
    EXPECT_TRUE(buildScalar("-1", 4, b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>(4, 0xff)));
    EXPECT_TRUE(buildScalar("4294967295", 4, b, error));
    EXPECT_FALSE(buildScalar("4294967296", 4, b, error));
    EXPECT_FALSE(buildScalar("", 4, b, error));
    buildText("ab", b);
    EXPECT_EQ(b, (std::vector<uint8_t>{'a', 'b', 0}));
}

TEST(Scalars, HexBytes) {
    std::vector<uint8_t> b;
    std::string error;
    EXPECT_TRUE(parseHexBytes("01 ff:A0-7e", b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>{1, 0xff, 0xa0, 0x7e}));
    EXPECT_TRUE(parseHexBytes("", b, error));
    EXPECT_TRUE(b.empty());
    EXPECT_FALSE(parseHexBytes("123", b, error));
    EXPECT_FALSE(parseHexBytes("1 23", b, error));
    EXPECT_FALSE(parseHexBytes("0g", b, error));
}

TEST(ArgumentForms, PositionalValueIsReadByTheCommandsKind) {
    bool has = false;
    std::vector<uint8_t> b;
    std::string error;
    ArgumentOptions options;
    options.positionals = {"1"};
    ASSERT_TRUE(buildArgument(ZTCONTROL_COMMAND_SHUTTER, ZT_ARG_U8, options, has, b, error));
    EXPECT_TRUE(has);
    EXPECT_EQ(b, (std::vector<uint8_t>{1}));
    ASSERT_TRUE(buildArgument(ZTCONTROL_PRESET_LOAD_FOR_MODE, ZT_ARG_U16, options, has, b, error));
    EXPECT_EQ(b.size(), 2u);
    ASSERT_TRUE(buildArgument(ZTCONTROL_MODE, ZT_ARG_U32, options, has, b, error));
    EXPECT_EQ(b.size(), 4u);
    ASSERT_TRUE(buildArgument(ZTCONTROL_DELETE, ZT_ARG_TEXT, options, has, b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>{'1', 0}));
    EXPECT_FALSE(buildArgument(ZTCONTROL_SET_SETTING_ID, ZT_ARG_BYTES, options, has, b, error));
    EXPECT_NE(error.find("structure flags"), std::string::npos);
}

TEST(ArgumentForms, NothingGivenSendsNoElement) {
    bool has = true;
    std::vector<uint8_t> b{9};
    std::string error;
    ASSERT_TRUE(buildArgument(ZTCONTROL_DELETE_LAST, ZT_ARG_NONE, ArgumentOptions{}, has, b, error));
    EXPECT_FALSE(has);
    EXPECT_TRUE(b.empty());
}

TEST(ArgumentForms, AnExplicitArgumentIsSentEvenToACommandThatTakesNone) {
    bool has = false;
    std::vector<uint8_t> b;
    std::string error;
    ArgumentOptions options;
    options.scalars = {{"u8", "1"}};
    ASSERT_TRUE(buildArgument(ZTCONTROL_DELETE_LAST, ZT_ARG_NONE, options, has, b, error));
    EXPECT_TRUE(has);
}

TEST(ArgumentForms, OnlyOneFormAndProtobufOnlyAsHex) {
    bool has = false;
    std::vector<uint8_t> b;
    std::string error;
    ArgumentOptions two;
    two.scalars = {{"u8", "1"}};
    two.positionals = {"2"};
    EXPECT_FALSE(buildArgument(ZTCONTROL_COMMAND_SHUTTER, ZT_ARG_U8, two, has, b, error));

    ArgumentOptions none;
    EXPECT_FALSE(buildArgument(ZTCONTROL_PRESET_LOAD, ZT_ARG_PROTOBUF, none, has, b, error));
    EXPECT_NE(error.find("not supported yet"), std::string::npos);
    ArgumentOptions text;
    text.scalars = {{"text", "preset_id: 1"}};
    EXPECT_FALSE(buildArgument(ZTCONTROL_PRESET_LOAD, ZT_ARG_PROTOBUF, text, has, b, error));
    ArgumentOptions hex;
    hex.scalars = {{"hex", "08 01"}};
    ASSERT_TRUE(buildArgument(ZTCONTROL_PRESET_LOAD, ZT_ARG_PROTOBUF, hex, has, b, error));
    EXPECT_EQ(b, (std::vector<uint8_t>{8, 1}));
}
