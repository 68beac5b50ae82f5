// Payload decoders at their exact sizes (values read from the right offsets) and at other sizes
// (nothing decoded, nothing read past the end: every buffer here is exactly the payload's size,
// so an over-read shows under AddressSanitizer).
#include <gtest/gtest.h>
#include <string.h>

#include <memory>

#include "camera_layout.h"
#include "decoders.h"
#include "ztcontrol_commands.h"

using namespace ztctl;

namespace {

std::unique_ptr<uint8_t[]> exact(size_t n, uint8_t fill = 0) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[n ? n : 1]);
    memset(p.get(), fill, n ? n : 1);
    return p;
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

const Node* member(const Node& n, const std::string& key) {
    for (const Node& item : n.items)
        if (item.key == key) return &item;
    return nullptr;
}

unsigned long long u(const Node& n, const std::string& key) {
    const Node* m = member(n, key);
    EXPECT_NE(m, nullptr) << key;
    return m ? m->u : 0;
}

long long i(const Node& n, const std::string& key) {
    const Node* m = member(n, key);
    EXPECT_NE(m, nullptr) << key;
    return m ? m->i : 0;
}

std::string text(const Node& n, const std::string& key) {
    const Node* m = member(n, key);
    EXPECT_NE(m, nullptr) << key;
    return m ? m->text : "";
}

}  // namespace

TEST(Decoders, IdPayloads) {
    auto p = exact(4);
    put32(p.get(), 0x00010002);
    Decoded d = decodePayload(ZTCONTROL_PRESET_GET_ACTIVE_PRESET, p.get(), 4);
    ASSERT_TRUE(d.known);
    EXPECT_EQ(u(d.fields, "preset_id"), 0x10002u);
    EXPECT_EQ(u(d.fields, "group"), 1u);
    EXPECT_EQ(u(d.fields, "number"), 2u);
    d = decodePayload(ZTCONTROL_WIFI_SSID_SCAN, p.get(), 4);
    EXPECT_EQ(u(d.fields, "scan_id"), 0x10002u);
    auto shortp = exact(3);
    d = decodePayload(ZTCONTROL_WIFI_SSID_SCAN, shortp.get(), 3);
    EXPECT_FALSE(d.known);
    EXPECT_EQ(d.note, "unexpected size 3 (expected 4)");
}

TEST(Decoders, ScanPageEntriesAreBoundedByTheirFieldsAndByTen) {
    auto p = exact(kScanPageSize);
    p[0] = 10;
    p[2] = 5;
    p[4] = 2;
    p[8] = 12;
    memcpy(p.get() + 12, "home", 5);
    put32(p.get() + 12 + 36, 3);
    put32(p.get() + 12 + 40, 2437);
    p[12 + 44] = 60;
    memset(p.get() + 60, 'x', 32);  // second name fills its field without a NUL
    Node n;
    ASSERT_TRUE(decodeScanPage(p.get(), kScanPageSize, n));
    EXPECT_EQ(u(n, "offset"), 10u);
    EXPECT_EQ(u(n, "scan_id"), 5u);
    EXPECT_EQ(u(n, "count"), 2u);
    EXPECT_EQ(u(n, "total"), 12u);
    const Node* entries = member(n, "entries");
    ASSERT_NE(entries, nullptr);
    ASSERT_EQ(entries->items.size(), 2u);
    EXPECT_EQ(text(entries->items[0], "ssid"), "home");
    EXPECT_EQ(u(entries->items[0], "auth_type"), 3u);
    EXPECT_EQ(u(entries->items[0], "frequency_mhz"), 2437u);
    EXPECT_EQ(u(entries->items[0], "signal"), 60u);
    EXPECT_EQ(text(entries->items[1], "ssid"), std::string(32, 'x'));

    p[4] = 200;  // a count above the page's room
    ASSERT_TRUE(decodeScanPage(p.get(), kScanPageSize, n));
    EXPECT_EQ(member(n, "entries")->items.size(), 10u);
}

TEST(Decoders, TranscodeRecord) {
    auto p = exact(kTranscodeRecordSize);
    memset(p.get(), 'S', 257);  // source name without a NUL inside its field
    const uint8_t id[8] = {0x2a, 0, 0, 0, 0, 0, 0, 0x01};
    memcpy(p.get() + 264, id, 8);
    put32(p.get() + 272, 2);
    put32(p.get() + 276, (uint32_t)-3);
    put32(p.get() + 280, 90);
    put32(p.get() + 284, 100);
    strcpy((char*)p.get() + 288, "out/x.mp4");
    Node n;
    ASSERT_TRUE(decodeTranscodeRecord(p.get(), kTranscodeRecordSize, n));
    EXPECT_EQ(text(n, "source"), std::string(257, 'S'));
    EXPECT_EQ(u(n, "transcode_id"), 0x010000000000002aull);
    EXPECT_EQ(u(n, "status"), 2u);
    EXPECT_EQ(text(n, "status_name"), "done");
    EXPECT_EQ(i(n, "failure_reason"), -3);
    EXPECT_EQ(u(n, "estimate_seconds"), 90u);
    EXPECT_EQ(u(n, "progress"), 100u);
    EXPECT_EQ(text(n, "filename"), "out/x.mp4");
}

TEST(Decoders, TranscodeHistoryMarksEmptySlots) {
    auto p = exact(kTranscodeHistorySize);
    strcpy((char*)p.get(), "a.mp4");
    Node n;
    ASSERT_TRUE(decodeTranscodeHistory(p.get(), kTranscodeHistorySize, n));
    const Node* jobs = member(n, "jobs");
    ASSERT_EQ(jobs->items.size(), 2u);
    EXPECT_EQ(u(jobs->items[0], "slot"), 0u);
    EXPECT_EQ(text(jobs->items[0], "source"), "a.mp4");
    EXPECT_EQ(u(jobs->items[1], "slot"), 1u);
    EXPECT_TRUE(member(jobs->items[1], "empty")->u);
}

TEST(Decoders, StatusRecordSummary) {
    using namespace camlayout;
    auto p = exact(kStatusRecordSize);
    p[ST_FLAT_MODE] = 12;
    p[ST_ZOOM] = 0xf6;  // signed: -10
    put32(p.get() + ST_MODE_GROUP, 1);
    put32(p.get() + ST_PHOTO_PRESET, 65537);
    put32(p.get() + ST_RECORDING_SECONDS, 3600);
    p[ST_AUDIO_ACCESSORY] = 3;
    p[kStatusBlockSize + SE_FLAT_MODE] = 17;
    p[622] = 1;
    p[623] = 0xff;
    Node n;
    ASSERT_TRUE(decodeStatusRecord(p.get(), kStatusRecordSize, n));
    const Node* status = member(n, "status");
    const Node* settings = member(n, "settings");
    ASSERT_TRUE(status && settings);
    EXPECT_EQ(u(*status, "flat_mode"), 12u);
    EXPECT_EQ(i(*status, "zoom"), -10);
    EXPECT_EQ(u(*status, "mode_group"), 1u);
    EXPECT_EQ(u(*status, "photo_preset"), 65537u);
    EXPECT_EQ(u(*status, "recording_seconds"), 3600u);
    EXPECT_EQ(u(*status, "audio_accessory"), 3u);
    EXPECT_EQ(u(*settings, "flat_mode"), 17u);
    EXPECT_EQ(i(n, "lens_mode"), 1);
    EXPECT_EQ(i(n, "lens"), -1);
}

TEST(Decoders, CalibrationPathAndText) {
    auto p = exact(kCalibrationPathSize);
    strcpy((char*)p.get(), "/tmp/fuse_a/cal/lens0.bin");
    Decoded d = decodePayload(ZTCONTROL_CAL_FILE_NAME_GET, p.get(), kCalibrationPathSize);
    ASSERT_TRUE(d.known);
    EXPECT_EQ(text(d.fields, "path"), "/tmp/fuse_a/cal/lens0.bin");

    const char name[] = "analytics_0001.bin";
    auto t = exact(sizeof name);
    memcpy(t.get(), name, sizeof name);
    d = decodePayload(ZTCONTROL_ANALYTICS_FILENAME_GET, t.get(), sizeof name);
    ASSERT_TRUE(d.known);
    EXPECT_EQ(text(d.fields, "text"), name);
    d = decodePayload(ZTCONTROL_ANALYTICS_FILENAME_GET, t.get(), sizeof name - 1);  // without the NUL
    EXPECT_EQ(text(d.fields, "text"), name);

    Node n;
    const uint8_t binary[] = {'a', 0, 'b'};
    EXPECT_FALSE(decodePrintableText(binary, 3, n));
    const uint8_t control[] = {'a', 1};
    EXPECT_FALSE(decodePrintableText(control, 2, n));
    const uint8_t nuls[] = {0, 0};
    EXPECT_FALSE(decodePrintableText(nuls, 2, n));
}

TEST(Decoders, ProtobufAnswersAreLeftToTheHexDump) {
    const uint8_t pb[] = {0x08, 0x01};
    Decoded d = decodePayload(ZTCONTROL_PRESET_GROUP_LIST, pb, 2);
    EXPECT_FALSE(d.known);
    EXPECT_NE(d.note.find("protobuf"), std::string::npos);
}

TEST(Decoders, EveryFixedDecoderRefusesOneByteShortAndOneByteLong) {
    struct Case {
        uint32_t id;
        size_t size;
    } cases[] = {
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
    for (const Case& c : cases) {
        for (size_t size : {c.size - 1, c.size + 1, (size_t)1}) {
            auto p = exact(size, 0xff);
            Decoded d = decodePayload(c.id, p.get(), size);
            EXPECT_FALSE(d.known) << c.id << " size " << size;
            EXPECT_NE(d.note.find("unexpected size"), std::string::npos);
        }
        auto p = exact(c.size, 0xff);
        EXPECT_TRUE(decodePayload(c.id, p.get(), c.size).known) << c.id;
    }
    EXPECT_FALSE(decodePayload(ZTCONTROL_WIFI_SSID_LIST, nullptr, 0).known);
}
