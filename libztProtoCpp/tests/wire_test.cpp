// Wire facts the preset clients depend on: the unknown mode, field order, the package-less result enum.
#include <gtest/gtest.h>

#include <string>

#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using namespace wsdk_commands;

TEST(PresetWire, UnknownModeAndFieldOrder) {
    WSDK_Preset preset;
    EXPECT_EQ(preset.mode(), -1) << "an unset mode reads as unknown";
    preset.set_mode(WSDK_FLAT_MODE_UNKNOWN);
    const std::string bytes = preset.SerializeAsString();
    ASSERT_EQ(bytes.size(), 11u);  // tag, then ten varint bytes
    EXPECT_EQ((uint8_t)bytes[0], 0x10);
    EXPECT_EQ((uint8_t)bytes[10], 0x01);
    WSDK_Preset back;
    ASSERT_TRUE(back.ParseFromString(bytes));
    EXPECT_EQ(back.mode(), WSDK_FLAT_MODE_UNKNOWN);

    // A preset's information writes its settings before the predefined flag.
    ztcontrol::presets::Preset_Info info;
    info.set_predefined_preset(true);
    auto* s = info.add_settings();
    s->set_setting_id(2);
    s->set_value(9);
    // field 6 (length-delimited, tag 0x32) with its 4-byte body, then field 7 (varint, tag 0x38)
    EXPECT_EQ(info.SerializeAsString(), std::string("\x32\x04\x08\x02\x10\x09\x38\x01", 8));
}

TEST(PresetWire, CreateResponseUsesThePackagelessResult) {
    const auto* field = WSDK_ResponseCreateCustomPreset::descriptor()->FindFieldByName("result");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->enum_type()->full_name(), "EnumResultGeneric");
}

}  // namespace
