// Settings writes over the camera link, and the small exported helpers.
#include <gtest/gtest.h>
#include <string.h>

#include "camlink_client.h"
#include "csi_settings.h"
#include "support/fake_camera.h"
#include "ztErrno.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SettingsLink : public ::testing::Test {
  protected:
    FakeCamera camera{[](const CamRequest&) { return CamReply(); }};
    LinkContext link{camera.name()};
};

TEST_F(SettingsLink, CsiSetUsesTheContextOfTheControlLibrary) {
    camlink_attach_context(nullptr);
    const uint32_t state = (4u << 24) | 1002u;
    EXPECT_EQ(csi_set(CSI_ITEM_PRESET_STATE, &state, 4), ZT_ERR);
    EXPECT_TRUE(camera.requests().empty());

    ASSERT_EQ(ztc_fwupdate_download_cancel(&link.ctx), 0);  // the daemon's first call attaches
    ASSERT_EQ(csi_set(CSI_ITEM_PRESET_STATE, &state, 4), 0);
    EXPECT_EQ(camera.last().op, CAMLINK_OP_CSI_SET);
    Bytes expected = {0, 0, 0, 7, 0, 0, 0, 0};
    memcpy(expected.data() + 4, &state, 4);  // item data travels unchanged
    EXPECT_EQ(camera.last().args, expected);
    EXPECT_EQ(csi_set(7, nullptr, 4), ZT_ERR_INVALID_PARAM);
}

TEST_F(SettingsLink, SetValueSendsTheRowWordsAndValueWhenTheyFitTheBlock) {
    uint8_t blocks[CSI_STATUS_BLOCK_SIZE + CSI_SETTINGS_BLOCK_SIZE] = {};
    ASSERT_EQ(camera_if_settings_set_value_int(&link.ctx, 144, 0, 25, 13, 1, blocks), 0);
    EXPECT_EQ(camera.last().op, CAMLINK_OP_SET_VALUE);
    EXPECT_EQ(camera.last().args, (Bytes{0, 0, 0, 144, 0, 0, 0, 0, 0, 0, 0, 25, 0, 0, 0, 13, 0, 0, 0, 1}));
    ASSERT_EQ(camera_if_settings_set_value_int(&link.ctx, 32, 0, 10, -1, 2, nullptr), 0);
    EXPECT_EQ(camera.last().args,
              (Bytes{0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, 10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2}));
    auto set = [&](uint32_t block, uint32_t offset, int value, uint32_t width) {
        return camera_if_settings_set_value_int(&link.ctx, 1, block, offset, value, width, nullptr);
    };
    EXPECT_EQ(set(1, 383, 255, 1), 0);  // the last status byte

    const size_t before = camera.requests().size();
    const struct {
        const char* what;
        uint32_t block, offset;
        int value;
        uint32_t width;
    } refused[] = {{"block", 2, 0, 1, 1},
                   {"past the end", 0, 237, 1, 2},
                   {"width", 0, 0, 1, 0},
                   {"value", 0, 0, 256, 1},
                   {"2-byte value", 0, 0, 70000, 2}};
    for (const auto& r : refused)
        EXPECT_EQ(set(r.block, r.offset, r.value, r.width), ZT_ERR_INVALID_PARAM) << r.what;
    EXPECT_EQ(camera.requests().size(), before);

    camera.setHandler([](const CamRequest&) { return CamReply{ZT_ERR_INVALID_PARAM, 0, {}}; });
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 2, 0, 0, 3, 1, blocks), ZT_ERR_INVALID_PARAM);
}

TEST(ParseParam, ValueRunsToTheNextSeparator) {
    const struct {
        const char* text;
        const char* key;
        const char* value;  // null: not found, value kept
    } rows[] = {{"id=12&mode=video", "mode=", "video"},
                {"a=1;b=2", "a=", "1"},
                {"name=x y", "name=", "x"},
                {"flag=", "flag=", ""},
                {"a=1", "b=", nullptr},
                {nullptr, "b=", nullptr},
                {"a=1", "", nullptr}};
    for (const auto& row : rows) {
        std::string value = "kept";
        EXPECT_EQ(parseParam(row.text, row.key, value) != 0, row.value != nullptr) << row.key;
        EXPECT_EQ(value, row.value ? row.value : "kept") << row.key;
    }
}

TEST(ByteOrder64, NetworkOrderIsBigEndian) {
    const uint64_t value = 0x0102030405060708ULL;
    const uint64_t net = htonll(value);
    uint8_t bytes[8];
    memcpy(bytes, &net, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], i + 1);
    EXPECT_EQ(ntohll(net), value);
}

}  // namespace
