// Wire facts the preset clients depend on: defaults, field order, the package-less result enum.
#include <gtest/gtest.h>

#include <string>

#include "generic/EnumResultGeneric.pb.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using namespace wsdk_commands;

TEST(PresetWire, UnsetFieldsReadTheFirstEnumValue) {
    WSDK_Preset preset;
    EXPECT_EQ(preset.mode(), WSDK_FLAT_MODE_UNKNOWN);
    EXPECT_EQ(preset.mode(), -1);
    EXPECT_EQ(preset.icon(), WSDK_PRESET_ICON_VIDEO);
    EXPECT_EQ(preset.title_id(), WSDK_PRESET_TITLE_ACTIVITY);
    WSDK_PresetGroup group;
    EXPECT_EQ(group.id(), WSDK_PRESET_GROUP_ID_VIDEO);
    EXPECT_FALSE(group.has_can_add_preset());
}

TEST(PresetWire, MinusOneModeIsATenByteVarint) {
    WSDK_Preset preset;
    preset.set_mode(WSDK_FLAT_MODE_UNKNOWN);
    const std::string bytes = preset.SerializeAsString();
    ASSERT_EQ(bytes.size(), 11u);  // tag, then ten varint bytes
    EXPECT_EQ((uint8_t)bytes[0], 0x10);
    EXPECT_EQ((uint8_t)bytes[10], 0x01);
    WSDK_Preset back;
    ASSERT_TRUE(back.ParseFromString(bytes));
    EXPECT_EQ(back.mode(), WSDK_FLAT_MODE_UNKNOWN);
}

TEST(PresetWire, PresetInfoWritesSettingsBeforePredefinedFlag) {
    ztcontrol::presets::Preset_Info info;
    info.set_predefined_preset(true);
    auto* s = info.add_settings();
    s->set_setting_id(2);
    s->set_value(9);
    const std::string bytes = info.SerializeAsString();
    // field 6 (length-delimited, tag 0x32) with its 4-byte body, then field 7 (varint, tag 0x38)
    const std::string expected("\x32\x04\x08\x02\x10\x09\x38\x01", 8);
    EXPECT_EQ(bytes, expected);
    // Declaration order is kept in the descriptor: field 7 comes before field 6.
    const auto* d = info.GetDescriptor();
    EXPECT_EQ(d->field(5)->number(), 7);
    EXPECT_EQ(d->field(6)->number(), 6);
}

TEST(PresetWire, CreateResponseUsesThePackagelessResult) {
    const auto* field = WSDK_ResponseCreateCustomPreset::descriptor()->FindFieldByName("result");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->enum_type()->full_name(), "EnumResultGeneric");
    WSDK_ResponseCreateCustomPreset rsp;
    rsp.set_preset_id(0x10005);
    rsp.set_result(RESULT_SUCCESS);
    WSDK_ResponseCreateCustomPreset back;
    ASSERT_TRUE(back.ParseFromString(rsp.SerializeAsString()));
    EXPECT_EQ(back.result(), RESULT_SUCCESS);
    EXPECT_EQ(back.preset_id(), 0x10005);
}

TEST(PresetWire, EnumsKeepTheirOrderAndSentinels) {
    struct Case {
        const google::protobuf::EnumDescriptor* e;
        int count;
        int first;
        int last;
    };
    const Case cases[] = {
        {WSDK_EnumFlatMode_descriptor(), 16, -1, 27},
        {WSDK_EnumPresetIcon_descriptor(), 40, 0, 1002},
        {WSDK_EnumPresetTitle_descriptor(), 42, 0, 58},
        {WSDK_EnumPresetGroup_descriptor(), 7, 1000, 1006},
        {EnumResultGeneric_descriptor(), 6, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.e->full_name());
        ASSERT_EQ(c.e->value_count(), c.count);
        EXPECT_EQ(c.e->value(0)->number(), c.first);
        EXPECT_EQ(c.e->value(c.count - 1)->number(), c.last);
    }
    EXPECT_EQ(WSDK_EnumPresetIcon_descriptor()->FindValueByNumber(33)->index(), 33);
    EXPECT_EQ(WSDK_EnumPresetIcon_descriptor()->FindValueByNumber(55)->index(), 34);
    EXPECT_EQ(WSDK_EnumPresetTitle_descriptor()->FindValueByNumber(51)->name(), "WSDK_PRESET_TITLE_360_TIMELAPSE");
}

}  // namespace
