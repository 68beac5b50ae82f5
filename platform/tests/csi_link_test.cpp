// Settings writes over the camera link, and the small exported helpers.
#include <string.h>

#include <gtest/gtest.h>

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

    CamRequest last() const
    {
        const auto all = camera.requests();
        return all.empty() ? CamRequest() : all.back();
    }
};

TEST_F(SettingsLink, CsiSetUsesTheContextOfTheControlLibrary)
{
    camlink_attach_context(nullptr);
    const uint32_t state = (4u << 24) | 1002u;
    EXPECT_EQ(csi_set(CSI_ITEM_PRESET_STATE, &state, 4), ZT_ERR);
    EXPECT_TRUE(camera.requests().empty());

    ASSERT_EQ(ztc_fwupdate_download_cancel(&link.ctx), 0);  // the daemon's first call attaches
    ASSERT_EQ(csi_set(CSI_ITEM_PRESET_STATE, &state, 4), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_CSI_SET);
    Bytes expected = {0, 0, 0, 7};
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&state);
    expected.insert(expected.end(), raw, raw + 4);  // item data travels unchanged
    EXPECT_EQ(last().args, expected);
    EXPECT_EQ(csi_set(7, nullptr, 4), ZT_ERR_INVALID_PARAM);
}

TEST_F(SettingsLink, SetValueSendsTheRowWordsAndValue)
{
    uint8_t blocks[CSI_STATUS_BLOCK_SIZE + CSI_SETTINGS_BLOCK_SIZE] = {};
    ASSERT_EQ(camera_if_settings_set_value_int(&link.ctx, 144, 0, 25, 13, 1, blocks), 0);
    EXPECT_EQ(last().op, CAMLINK_OP_SET_VALUE);
    EXPECT_EQ(last().args, (Bytes{0, 0, 0, 144, 0, 0, 0, 0, 0, 0, 0, 25, 0, 0, 0, 13, 0, 0, 0, 1}));

    ASSERT_EQ(camera_if_settings_set_value_int(&link.ctx, 32, 0, 10, -1, 2, nullptr), 0);
    EXPECT_EQ(last().args, (Bytes{0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, 10, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2}));

    camera.setHandler([](const CamRequest&) {
        CamReply r;
        r.result = ZT_ERR_INVALID_PARAM;
        return r;
    });
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 2, 0, 0, 3, 1, blocks), ZT_ERR_INVALID_PARAM);
}

TEST_F(SettingsLink, SetValueRefusesRowsThatDoNotFitTheBlock)
{
    const size_t before = camera.requests().size();
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 2, 0, 1, 1, nullptr), ZT_ERR_INVALID_PARAM);    // block
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 0, 237, 1, 2, nullptr), ZT_ERR_INVALID_PARAM);  // past end
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 0, 0, 1, 0, nullptr), ZT_ERR_INVALID_PARAM);    // width
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 0, 0, 256, 1, nullptr), ZT_ERR_INVALID_PARAM);  // value
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 0, 0, 70000, 2, nullptr), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(camera.requests().size(), before);
    EXPECT_EQ(camera_if_settings_set_value_int(&link.ctx, 1, 1, 383, 255, 1, nullptr), 0);  // last status byte
}

TEST(ParseParam, ValueRunsToTheNextSeparator)
{
    std::string value = "old";
    EXPECT_NE(parseParam("id=12&mode=video", "mode=", value), 0);
    EXPECT_EQ(value, "video");
    EXPECT_NE(parseParam("a=1;b=2", "a=", value), 0);
    EXPECT_EQ(value, "1");
    EXPECT_NE(parseParam("name=x y", "name=", value), 0);
    EXPECT_EQ(value, "x");
    EXPECT_NE(parseParam("flag=", "flag=", value), 0);
    EXPECT_EQ(value, "");
    value = "kept";
    EXPECT_EQ(parseParam("a=1", "b=", value), 0);
    EXPECT_EQ(parseParam(nullptr, "b=", value), 0);
    EXPECT_EQ(parseParam("a=1", "", value), 0);
    EXPECT_EQ(value, "kept");
}

TEST(ByteOrder64, NetworkOrderIsBigEndian)
{
    const uint64_t value = 0x0102030405060708ULL;
    const uint64_t net = htonll(value);
    uint8_t bytes[8];
    memcpy(bytes, &net, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(bytes[i], i + 1);
    EXPECT_EQ(ntohll(net), value);
}

}  // namespace
