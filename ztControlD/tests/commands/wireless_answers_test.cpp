// Wireless and remote-control commands against a scripted camera: every request checked byte for
// byte, the scan page built from well-formed, oversized, truncated and refused answers, the scan
// id, the pairing-cancel answer, and refused arguments (text fields that are not terminated).
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/ztcontrol_if_server.h"
#include "support/fake_camera_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

constexpr size_t kPageSize = 492;

struct Network {
    std::string name;
    uint8_t auth;
    uint8_t signal;
    uint32_t word;
};

// The camera's answer to "al": 0, scan id, 0, 0, count, total, 0, then 96-byte entries.
std::vector<uint8_t> scanAnswer(uint8_t scanId, uint8_t count, uint8_t total,
                                const std::vector<Network>& entries) {
    std::vector<uint8_t> a = {0, scanId, 0, 0, count, total, 0};
    for (const Network& n : entries) {
        std::vector<uint8_t> e(96, 0);
        e[0] = n.auth;
        e[1] = n.signal;
        memcpy(e.data() + 2, n.name.data(), std::min<size_t>(n.name.size(), 85));
        putLe32(e, 87, n.word);
        a.insert(a.end(), e.begin(), e.end());
    }
    return a;
}

bool zeroFrom(const std::vector<uint8_t>& page, size_t from) {
    return std::all_of(page.begin() + (std::ptrdiff_t)from, page.end(), [](uint8_t b) { return b == 0; });
}

std::vector<Network> networks(size_t n) {
    std::vector<Network> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back({"net-" + std::to_string(i), (uint8_t)(i % 3), (uint8_t)(i % 5), 2400u + (uint32_t)i});
    return out;
}

// Packed argument: name field at 0, password from 33, a 32-bit word at wordOffset.
Bytes packed(size_t size, const std::string& name, const std::string& password, size_t wordOffset,
             uint32_t word) {
    Bytes arg(size, 0);
    memcpy(arg.data(), name.data(), name.size());
    memcpy(arg.data() + 33, password.data(), password.size());
    putLe32(arg, wordOffset, word);
    return arg;
}
Bytes apArgument(const std::string& name, const std::string& password, uint32_t flag) {
    return packed(108, name, password, 104, flag);
}
Bytes networkArgument(const std::string& name, const std::string& password, uint32_t authType = 0) {
    return packed(104, name, password, 100, authType);
}

// A satchel request as the camera receives it: the code, then the payload.
Bytes satchel(const std::string& code, const Bytes& payload = {}) { return cat(chars(code), payload); }

// The 97-byte network-list payload: four bytes, then the name and password fields.
Bytes networkPayload(uint8_t first, uint8_t third, const std::string& name, const std::string& password) {
    Bytes p(97, 0);
    p[0] = first;
    p[1] = 96;
    p[2] = third;
    memcpy(p.data() + 4, name.data(), name.size());
    memcpy(p.data() + 37, password.data(), password.size());
    return p;
}

class WirelessAnswersTest : public ::testing::Test {
protected:
    Reply list(uint8_t offset) { return f.command(ZTCONTROL_WIFI_SSID_LIST, u8Arg(offset)); }
    FakeCameraServer f;
};

// Each command's one request (a satchel one, or the band's remote one), its trace line and the
// camera's answer passed on. Longest texts travel whole, a connect cuts its texts to 31
// characters (full fields without their NUL too), and no password connects with "CL".
TEST_F(WirelessAnswersTest, CommandsSendTheirRequestByteForByte) {
    const std::string n32(32, 'n'), o32(32, 'o'), p70(70, 'p'), c33(33, 'C'), p67(67, 'p');
    struct Row {
        std::string trace;
        uint32_t id;
        std::optional<Bytes> arg;
        const char* op;  // null: nothing is sent
        Bytes sent;
    };
    const Row rows[] = {
        {"ZTCONTROL_WIFI_AP_CONTROL: action:0", ZTCONTROL_WIFI_AP_CONTROL, u32Arg(0), "SA", satchel("AP", {3, 0})},
        {"ZTCONTROL_WIFI_AP_CONTROL: action:1", ZTCONTROL_WIFI_AP_CONTROL, u32Arg(1), "SA", satchel("AP", {1, 0})},
        {"ZTCONTROL_WIFI_AP_CONTROL: action:2", ZTCONTROL_WIFI_AP_CONTROL, u32Arg(2), "SA", satchel("AP", {6, 0})},
        {"ZTCONTROL_BLE_CONTROL", ZTCONTROL_BLE_CONTROL, u8Arg(0), "SA", satchel("AP", {36, 0})},  // not read
        {"ZTCONTROL_BLE_CONTROL", ZTCONTROL_BLE_CONTROL, std::nullopt, "SA", satchel("AP", {36, 0})},
        {"ZTCONTROL_WIFI_BAND_SELECT: band:1", ZTCONTROL_WIFI_BAND_SELECT, u32Arg(1), "RA", {6, 19, 1}},
        {"ZTCONTROL_REMOTE_API:", ZTCONTROL_REMOTE_API, std::nullopt, nullptr, {}},
        {"ZTCONTROL_REMOTE_API:", ZTCONTROL_REMOTE_API, u32Arg(7), nullptr, {}},
        {"ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[ZT-Cam-55] password[secret123]", ZTCONTROL_WIFI_AP_SSID_CONFIG,
         apArgument("ZT-Cam-55", "secret123", 0), "SA",
         satchel("AP", cat(cat(Bytes{6, 1, 9}, chars("secret123")), cat(Bytes{9}, chars("ZT-Cam-55"))))},
        // Flag word 1 sends a first byte of 0.
        {"ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[" + n32 + "] password[" + p70 + "]",
         ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument(n32, p70, 1), "SA",
         satchel("AP", cat(cat(Bytes{0, 1, 70}, chars(p70)), cat(Bytes{32}, chars(n32))))},
        {"ZTCONTROL_WIFI_SSID_SAVE: ssid[Home] password[pw123456]", ZTCONTROL_WIFI_SSID_SAVE,
         networkArgument("Home", "pw123456"), "SA", satchel("CQ", cat(textArg("Home"), textArg("pw123456")))},
        {"ZTCONTROL_WIFI_SSID_SAVE: ssid[" + o32 + "] password[]", ZTCONTROL_WIFI_SSID_SAVE,
         networkArgument(o32, ""), "SA", satchel("CQ", textArg(o32))},
        {"ZTCONTROL_WIFI_SSID_SELECT: ssid[Home] password[pw123456] auth_type:1", ZTCONTROL_WIFI_SSID_SELECT,
         networkArgument("Home", "pw123456", 1), "SA", satchel("CT", networkPayload(1, 1, "Home", "pw123456"))},
        {"ZTCONTROL_WIFI_SSID_SELECT: ssid[" + o32 + "] password[] auth_type:255", ZTCONTROL_WIFI_SSID_SELECT,
         networkArgument(o32, "", 255), "SA", satchel("CL", networkPayload(1, 255, std::string(31, 'o'), ""))},
        {"ZTCONTROL_WIFI_SSID_SELECT: ssid[" + c33 + "] password[" + p67 + "] auth_type:0", ZTCONTROL_WIFI_SSID_SELECT,
         networkArgument(c33, p67), "SA", satchel("CT", networkPayload(1, 0, c33.substr(0, 31), p67.substr(0, 31)))},
        {"ZTCONTROL_WIFI_SSID_DELETE: ssid[Home]", ZTCONTROL_WIFI_SSID_DELETE, textArg("Home"), "SA",
         satchel("CD", networkPayload(0, 0, "Home", ""))},
        {"ZTCONTROL_WIFI_SSID_DELETE_ALL:", ZTCONTROL_WIFI_SSID_DELETE_ALL, std::nullopt, "SA",
         satchel("CD", networkPayload(1, 0, "", ""))},
        {"ZTCONTROL_RC_PAIR:", ZTCONTROL_RC_PAIR, std::nullopt, "SA", satchel("PD", {1, 2})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace);
        f.clearRequests();
        f.log().clear();
        EXPECT_EQ(f.command(row.id, row.arg).result, ZT_OK);
        EXPECT_TRUE(f.log().contains(row.trace, UTIL_LOG_DEBUG));
        EXPECT_EQ(f.requests("SA").size() + f.requests("RA").size(), row.op ? 1u : 0u);
        if (row.op) {
            ASSERT_EQ(f.requests(row.op).size(), 1u);
            EXPECT_EQ(f.requests(row.op)[0].args, row.sent);
        }
    }
}

// The camera's answer decides the result: pairing cancel succeeds only on one zero byte, and
// link errors are answered unchanged.
TEST_F(WirelessAnswersTest, CameraAnswersDecideTheResult) {
    const std::pair<CamReply, int32_t> cancelAnswers[] = {
        {cameraAnswer({0}), ZT_OK},      {cameraAnswer({1}), ZT_ERR},           {cameraAnswer({}), ZT_ERR},
        {cameraAnswer({0, 0}), ZT_ERR}, {cameraError(ZT_ERR_NAK), ZT_ERR_NAK},
    };
    for (const auto& [reply, result] : cancelAnswers) {
        SCOPED_TRACE(result);
        f.clearRequests();
        f.scriptSatchel("PX", reply);
        EXPECT_EQ(f.command(ZTCONTROL_RC_PAIR_CANCEL).result, result);
        ASSERT_EQ(f.requests("SA").size(), 1u);
        EXPECT_EQ(f.requests("SA")[0].args, satchel("PX"));
    }
    EXPECT_TRUE(f.log().contains("ZTCONTROL_RC_PAIR_CANCEL:", UTIL_LOG_DEBUG));
    f.scriptSatchel("AP", cameraError(-17));
    EXPECT_EQ(f.command(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(1)).result, -17);
}

TEST_F(WirelessAnswersTest, ScanPageFromAWellFormedAnswer) {
    std::vector<Network> found = networks(3);
    found[1].word = 0xA1B2C3D4;
    found[2].name = std::string(85, 'N');  // the longest the camera sends: cut to 31 characters
    f.scriptSatchel("al", cameraAnswer(scanAnswer(7, 3, 15, found)));
    Reply r = list(2);
    EXPECT_EQ(r.result, ZT_OK);
    ASSERT_EQ(r.payload.size(), kPageSize);
    const std::vector<uint8_t>& page = r.payload;
    EXPECT_EQ(page[0], 2);
    EXPECT_EQ(page[1], 0);
    EXPECT_EQ(readLe(page, 2, 2), 7u);
    EXPECT_EQ(readLe(page, 4, 2), 3u);
    EXPECT_EQ(readLe(page, 8, 4), 15u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scanPageName(page, i), found[i].name.substr(0, 31));
        EXPECT_EQ(readLe(page, 12 + 48 * i + 36, 4), found[i].auth);
        EXPECT_EQ(readLe(page, 12 + 48 * i + 40, 4), found[i].word);
        EXPECT_EQ(page[12 + 48 * i + 44], found[i].signal);
    }
    EXPECT_TRUE(zeroFrom(page, 12 + 48 * 3));
    ASSERT_EQ(f.requests("SA").size(), 1u);
    EXPECT_EQ(f.requests("SA")[0].args, (std::vector<uint8_t>{'a', 'l', 2, 10, 255, 255, 1}));
    EXPECT_TRUE(f.log().contains("ZTCONTROL_WIFI_SSID_LIST: offset:2", UTIL_LOG_DEBUG));
}

TEST_F(WirelessAnswersTest, ScanPageNeverReadsPastTheAnswer) {
    // Four entries announced, two and a half present.
    std::vector<uint8_t> answer = scanAnswer(1, 4, 4, networks(3));
    answer.resize(answer.size() - 48);
    f.scriptSatchel("al", cameraAnswer(answer));
    Reply r = list(0);
    EXPECT_EQ(r.result, ZT_OK);
    EXPECT_EQ(readLe(r.payload, 4, 2), 2u);
    EXPECT_EQ(scanPageName(r.payload, 1), "net-1");
    EXPECT_TRUE(zeroFrom(r.payload, 12 + 48 * 2));
    EXPECT_TRUE(f.log().contains("Scan results announce 4 entries but hold 2", UTIL_LOG_ERROR));
}

TEST_F(WirelessAnswersTest, RefusedOrFailedScanAnswersGiveAnEmptyPage) {
    std::vector<uint8_t> refused = scanAnswer(1, 2, 2, networks(2));
    refused[0] = 1;
    const std::pair<CamReply, int32_t> cases[] = {
        {cameraAnswer(refused), ZT_ERR}, {cameraError(ZT_ERR_NAK), ZT_ERR_NAK}, {cameraAnswer({}), ZT_OK},
        {cameraAnswer({0, 1, 0, 0, 3}), ZT_ERR}};  // the last one's header cut short
    for (const auto& [reply, result] : cases) {
        f.scriptSatchel("al", reply);
        Reply r = list(0);
        EXPECT_EQ(r.result, result);
        ASSERT_EQ(r.payload.size(), kPageSize);
        EXPECT_TRUE(zeroFrom(r.payload, 0));
    }
    EXPECT_TRUE(f.log().contains("Scan results of 5 bytes are too short for their header", UTIL_LOG_ERROR));
}

TEST_F(WirelessAnswersTest, ScanStartAnswersTheScanId) {
    f.scriptSatchel("NI", cameraAnswer({0, 9}));
    Reply r = f.command(ZTCONTROL_WIFI_SSID_SCAN, u8Arg(1));
    EXPECT_EQ(r.result, ZT_OK);
    EXPECT_EQ(r.payload, (Bytes{9, 0, 0, 0}));
    EXPECT_EQ(f.requests("SA")[0].args, (std::vector<uint8_t>{'N', 'I', 1, 1}));

    f.scriptSatchel("NI", cameraAnswer({0}));
    r = f.command(ZTCONTROL_WIFI_SSID_SCAN, u8Arg(1));
    EXPECT_EQ(r.result, ZT_OK);
    EXPECT_EQ(r.payload, (Bytes{0, 0, 0, 0}));
    EXPECT_TRUE(f.log().contains("Results from scan start not long enough to hold a scan id", UTIL_LOG_ERROR));

    f.clearRequests();
    r = f.command(ZTCONTROL_WIFI_SSID_SCAN, u8Arg(0));
    EXPECT_EQ(r.result, ZT_ERR_NOT_SUPPORTED);
    EXPECT_EQ(r.payload, (Bytes{0, 0, 0, 0}));
    EXPECT_TRUE(f.requests("SA").empty());
    EXPECT_TRUE(f.log().contains("ZTCONTROL_WIFI_SSID_SCAN: start:0", UTIL_LOG_DEBUG));
}

// Arguments whose text fields are not terminated, or shorter than their structure, are refused
// as malformed ("Invalid parameter"); values out of range (empty or long texts, an unknown action,
// band or authentication type) are refused without that line. Nothing reaches the camera.
TEST_F(WirelessAnswersTest, RefusedArgumentsSendNothing) {
    const Bytes ap = apArgument(std::string(33, 'A'), "secret", 0);  // name field without its NUL
    const Bytes apPassword = apArgument("cam", std::string(71, 'p'), 0);  // password runs into the flag word
    Bytes save(40, 0);
    memcpy(save.data(), "home", 4);
    memset(save.data() + 33, 's', 7);  // password runs to the end of the argument
    // 33 characters: no room for the NUL in the field.
    const Bytes longName = networkArgument(std::string(33, 'x'), "");
    struct Case {
        uint32_t id;
        Bytes arg;
        bool malformed;
    };
    const Case cases[] = {
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, ap, true},
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, apPassword, true},
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, Bytes(107, 0), true},
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument("ZT-Cam", "", 0), false},
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument("", "secret", 0), false},
        {ZTCONTROL_WIFI_SSID_SELECT, Bytes(103, 0), true},
        {ZTCONTROL_WIFI_SSID_SELECT, networkArgument("Home", "pw", 256), false},
        {ZTCONTROL_WIFI_SSID_SELECT, networkArgument("", "pw", 1), false},
        {ZTCONTROL_WIFI_SSID_SAVE, save, true},
        {ZTCONTROL_WIFI_SSID_SAVE, Bytes(32, 0), true},
        {ZTCONTROL_WIFI_SSID_SAVE, longName, true},
        {ZTCONTROL_WIFI_SSID_SAVE, networkArgument("", "pw"), false},
        {ZTCONTROL_WIFI_SSID_SAVE, networkArgument("Home", std::string(33, 'p')), false},
        {ZTCONTROL_MQ_PUSH_NOTIFICATIONS, Bytes{1, 0, 0, 0, '/', 'q'}, true},
        {ZTCONTROL_MQ_PUSH_NOTIFICATIONS, Bytes{1, 0, 0, 0}, true},
        {ZTCONTROL_WIFI_SSID_DELETE, Bytes{'x', 'y'}, true},
        {ZTCONTROL_WIFI_SSID_DELETE, textArg(""), false},
        {ZTCONTROL_WIFI_SSID_DELETE_ALL, u8Arg(1), true},
        {ZTCONTROL_WIFI_AP_CONTROL, u32Arg(3), false},
        {ZTCONTROL_WIFI_BAND_SELECT, u32Arg(2), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("command " + std::to_string(c.id) + ", " + std::to_string(c.arg.size()) + " bytes");
        const size_t before = f.log().count("Invalid parameter", UTIL_LOG_ERROR);
        EXPECT_EQ(f.command(c.id, c.arg).result, ZT_ERR_INVALID_PARAM);
        EXPECT_EQ(f.log().count("Invalid parameter", UTIL_LOG_ERROR), before + (c.malformed ? 1 : 0));
    }
    EXPECT_TRUE(f.requests("SA").empty());
    EXPECT_TRUE(f.requests("RA").empty());
    EXPECT_TRUE(f.server()->pushClients.empty());
    // The trace line shows the field, bounded.
    const std::string trace = "ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[" + std::string(33, 'A') + "] password[secret]";
    EXPECT_TRUE(f.log().contains(trace, UTIL_LOG_DEBUG));
}

}  // namespace
