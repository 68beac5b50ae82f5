// Payload decoders at their exact sizes (values read from the right offsets, seen through the JSON
// they render to) and at other sizes (nothing decoded, nothing read past the end: every buffer is
// a heap block of exactly the payload's size, so an over-read shows under AddressSanitizer).
#include "decoders.h"

#include <gmock/gmock.h>
#include <string.h>

#include <tuple>

#include "camera_layout.h"
#include "json.h"
#include "ztcontrol_commands.h"

using namespace ztclient;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

namespace {

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; k++) b[at + k] = (uint8_t)(v >> (8 * k));
}

std::string decodedJson(uint32_t id, const Bytes& b) {
    Decoded d = decodePayload(id, b.data(), b.size());
    EXPECT_TRUE(d.known) << id << ": " << d.note;
    std::string out;
    appendJson(out, d.fields);
    return out;
}

}  // namespace

TEST(Decoders, FixedPayloadsRenderTheirFields) {
    Bytes id(4);
    put32(id, 0, 0xff010002);  // bits 24..31 are not part of the group
    Bytes path(kCalibrationPathSize);
    strcpy((char*)path.data(), "/tmp/fuse_a/cal/lens0.bin");
    const char name[] = "analytics\t0001.bin";
    Bytes scan(kScanPageSize);
    scan[0] = 10;
    scan[2] = 5;
    scan[4] = 2;
    scan[8] = 12;
    memcpy(&scan[12], "home", 5);
    put32(scan, 12 + 36, 3);
    put32(scan, 12 + 40, 2437);
    scan[12 + 44] = 60;
    memset(&scan[60], 'x', 32);  // the second name fills its field without a NUL
    Bytes record(kTranscodeRecordSize);
    memset(record.data(), 'S', 257);  // the source name without a NUL inside its field
    put32(record, 264, 0x2a);
    record[271] = 1;
    put32(record, 272, 2);
    put32(record, 276, (uint32_t)-3);
    put32(record, 280, 90);
    put32(record, 284, 100);
    strcpy((char*)&record[288], "out/x.mp4");
    Bytes history(kTranscodeHistorySize);  // the second slot stays empty
    std::copy(record.begin(), record.end(), history.begin());
    const std::string recordJson =
        "\"source\":\"" + std::string(257, 'S') +
        "\",\"transcode_id\":72057594037927978,\"status\":2,\"status_name\":\"done\","
        "\"failure_reason\":-3,\"estimate_seconds\":90,\"progress\":100,\"filename\":\"out/x.mp4\"}";
    const std::string text = "{\"text\":\"analytics\\t0001.bin\"}";
    const std::tuple<uint32_t, Bytes, std::string> rows[] = {
        {ZTCONTROL_PRESET_GET_ACTIVE_PRESET, id, "{\"preset_id\":4278255618,\"group\":1,\"number\":2}"},
        {ZTCONTROL_WIFI_SSID_SCAN, id, "{\"scan_id\":4278255618}"},
        {ZTCONTROL_CAL_FILE_NAME_GET, path, "{\"path\":\"/tmp/fuse_a/cal/lens0.bin\"}"},
        {ZTCONTROL_ANALYTICS_FILENAME_GET, Bytes(name, name + sizeof name), text},  // with the NUL
        {ZTCONTROL_ANALYTICS_FILENAME_GET, Bytes(name, name + sizeof name - 1), text},  // without
        {ZTCONTROL_WIFI_SSID_LIST, scan,
         "{\"offset\":10,\"scan_id\":5,\"count\":2,\"total\":12,\"entries\":[{\"ssid\":\"home\","
         "\"auth_type\":3,\"frequency_mhz\":2437,\"signal\":60},{\"ssid\":\"" + std::string(32, 'x') +
             "\",\"auth_type\":0,\"frequency_mhz\":0,\"signal\":0}]}"},
        {ZTCONTROL_TRANSCODE_STATUS, record, "{" + recordJson},
        {ZTCONTROL_TRANSCODE_HISTORY, history,
         "{\"jobs\":[{\"slot\":0," + recordJson + ",{\"slot\":1,\"empty\":true}]}"},
    };
    for (const auto& [command, bytes, json] : rows) EXPECT_EQ(decodedJson(command, bytes), json);

    scan[4] = 200;  // a count above the page's room
    Node n;
    ASSERT_TRUE(decodeScanPage(scan.data(), scan.size(), n));
    EXPECT_EQ(n.items.back().items.size(), 10u);
}

// Named fields of the record: signed bytes, flags, unaligned words, the settings part, the lens.
TEST(Decoders, StatusRecordAndExtendedStatus) {
    using namespace camlayout;
    Bytes p(kStatusRecordSize);
    p[ST_FLAT_MODE] = 12;
    p[ST_PHOTO_FLAT_MODE] = 0xff;  // signed
    p[ST_ZOOM] = 0xf6;
    p[ST_BUSY] = 1;
    put32(p, ST_MODE_GROUP, 1);
    put32(p, ST_PHOTO_PRESET, 65537);
    put32(p, ST_RECORDING_SECONDS, 3600);
    p[ST_SD_PRESENT] = 1;
    p[ST_BATTERY_PERCENT] = 73;
    p[ST_AUDIO_ACCESSORY] = 3;
    p[kStatusBlockSize + SE_FLAT_MODE] = 17;
    p[kStatusBlockSize + SE_NIGHTLAPSE_LENS_2] = 4;
    p[622] = 1;
    p[623] = 0xff;
    const std::string out = decodedJson(ZTCONTROL_GET_ALL_SETTINGS_STATUS, p);
    EXPECT_THAT(out, HasSubstr("{\"status\":{\"flat_mode\":12,\"sub_mode\":0,\"video_selected_flat_mode\":0,"
                               "\"photo_selected_flat_mode\":-1,\"timelapse_selected_flat_mode\":0,\"zoom\":-10,"
                               "\"recording\":true,\"encoding\":false,\"recording_seconds\":3600,\"mode_group\":1,"
                               "\"video_preset\":0,\"photo_preset\":65537,"));
    EXPECT_THAT(out, HasSubstr("\"battery_percent\":73,\"battery_bars\":0,\"card_present\":true,"));
    EXPECT_THAT(out, HasSubstr("\"audio_accessory\":3},\"settings\":{\"flat_mode\":17,\"lens_setting\":0,"
                               "\"lens_setting_2\":0,\"nightlapse_lens\":0,\"nightlapse_lens_2\":4},"
                               "\"lens_mode\":1,\"lens\":-1}"));

    // The extended status names its status block and counts what follows it.
    Bytes extended(kStatusBlockSize + 16);
    extended[ST_BUSY] = 1;
    const std::string ext = decodedJson(ZTCONTROL_GET_STATUS_EXTENDED, extended);
    EXPECT_THAT(ext, HasSubstr("\"recording\":true,"));
    EXPECT_THAT(ext, HasSubstr("},\"extension_bytes\":16}"));
    Bytes shortBlock(kStatusBlockSize - 1);
    Decoded d = decodePayload(ZTCONTROL_GET_STATUS_EXTENDED, shortBlock.data(), shortBlock.size());
    EXPECT_FALSE(d.known);
    EXPECT_EQ(d.note, "unexpected size 383 (expected at least 384)");
}

TEST(Decoders, TextAndProtobuf) {
    for (const Bytes& bad : {Bytes{'a', 0, 'b'}, Bytes{'a', 1}, Bytes{0, 0}, Bytes{'a', 0x7f}})
        EXPECT_FALSE(decodePayload(ZTCONTROL_ANALYTICS_FILENAME_GET, bad.data(), bad.size()).known);
    const uint8_t groups[] = {0x08, 0xe8, 0x07, 0x08, 0xe9, 0x07};
    Decoded d = decodePayload(ZTCONTROL_PRESET_GROUP_LIST, groups, sizeof groups);
    EXPECT_EQ(d.kind, "ZTC_Preset_Group_List_Resp");
    EXPECT_EQ(d.messageJson, "{\"preset_groups\":[1000,1001]}");
    EXPECT_EQ(d.messageText, "preset_groups: 1000\npreset_groups: 1001\n");
    d = decodePayload(ZTCONTROL_PRESET_GROUP_LIST, groups, 2);  // cut inside a varint
    EXPECT_TRUE(d.messageJson.empty());
    EXPECT_THAT(d.note, HasSubstr("does not parse as ZTC_Preset_Group_List_Resp"));
}

TEST(Decoders, EveryFixedDecoderRefusesOneByteShortAndOneByteLong) {
    const std::pair<uint32_t, size_t> cases[] = {
        {ZTCONTROL_WIFI_SSID_SCAN, kIdPayloadSize},
        {ZTCONTROL_PRESET_GET_ACTIVE_PRESET, kIdPayloadSize},
        {ZTCONTROL_WIFI_SSID_LIST, kScanPageSize},
        {ZTCONTROL_TRANSCODE_STATUS, kTranscodeRecordSize},
        {ZTCONTROL_TRANSCODE_HISTORY, kTranscodeHistorySize},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, kStatusRecordSize},
        {ZTCONTROL_GET_ALL_STATUS, kStatusBlockSize},
        {ZTCONTROL_GET_ALL_SETTINGS, kSettingsBlockSize},
        {ZTCONTROL_CAL_FILE_NAME_GET, kCalibrationPathSize},
    };
    for (const auto& [id, exact] : cases) {
        for (size_t size : {exact - 1, exact + 1, (size_t)1}) {
            Bytes p(size, 0xff);
            Decoded d = decodePayload(id, p.data(), size);
            EXPECT_FALSE(d.known) << id << " size " << size;
            EXPECT_EQ(d.note, "unexpected size " + std::to_string(size) + " (expected " +
                                  std::to_string(exact) + ")");
        }
        Bytes p(exact, 0xff);
        EXPECT_TRUE(decodePayload(id, p.data(), exact).known) << id;
    }
    EXPECT_FALSE(decodePayload(ZTCONTROL_WIFI_SSID_LIST, nullptr, 0).known);
}
