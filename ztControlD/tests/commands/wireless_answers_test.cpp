// Wireless commands against a scripted camera: the scan page built from well-formed, oversized,
// truncated and refused answers, the scan id, the pairing-cancel answer, and packed arguments
// whose text fields are not terminated.
#include <gtest/gtest.h>
#include <string.h>

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
std::vector<uint8_t> scanAnswer(uint8_t scanId, uint8_t count, uint8_t total, const std::vector<Network>& entries) {
    std::vector<uint8_t> a = {0, scanId, 0, 0, count, total, 0};
    for (const Network& n : entries) {
        std::vector<uint8_t> e(96, 0);
        e[0] = n.auth;
        e[1] = n.signal;
        memcpy(e.data() + 2, n.name.data(), std::min<size_t>(n.name.size(), 85));
        for (int i = 0; i < 4; ++i) e[87 + i] = (uint8_t)(n.word >> (8 * i));
        a.insert(a.end(), e.begin(), e.end());
    }
    return a;
}

bool zeroFrom(const std::vector<uint8_t>& page, size_t from) {
    for (size_t i = from; i < page.size(); ++i)
        if (page[i]) return false;
    return true;
}

std::vector<Network> networks(size_t n) {
    std::vector<Network> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back({"net-" + std::to_string(i), (uint8_t)(i % 3), (uint8_t)(i % 5), 2400u + (uint32_t)i});
    return out;
}

class WirelessAnswersTest : public ::testing::Test {
protected:
    Reply list(uint8_t offset) { return f.command(ZTCONTROL_WIFI_SSID_LIST, u8Arg(offset)); }
    FakeCameraServer f;
};

TEST_F(WirelessAnswersTest, ScanPageFromAWellFormedAnswer) {
    std::vector<Network> found = networks(3);
    found[1].word = 0xA1B2C3D4;
    found[2].name = std::string(85, 'N');  // the longest the camera sends: cut to 31 characters
    f.scriptSatchel("al", cameraAnswer(scanAnswer(7, 3, 15, found)));
    Reply r = list(2);
    ASSERT_TRUE(r.received);
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

    // A header cut short.
    f.scriptSatchel("al", cameraAnswer({0, 1, 0, 0, 3}));
    r = list(0);
    EXPECT_EQ(r.result, ZT_ERR);
    ASSERT_EQ(r.payload.size(), kPageSize);
    EXPECT_TRUE(zeroFrom(r.payload, 0));
    EXPECT_TRUE(f.log().contains("Scan results of 5 bytes are too short for their header", UTIL_LOG_ERROR));
}

TEST_F(WirelessAnswersTest, RefusedOrFailedScanAnswersGiveAnEmptyPage) {
    struct Case {
        CamReply reply;
        int32_t result;
    };
    std::vector<uint8_t> refused = scanAnswer(1, 2, 2, networks(2));
    refused[0] = 1;
    const Case cases[] = {{cameraAnswer(refused), ZT_ERR}, {cameraError(ZT_ERR_NAK), ZT_ERR_NAK}, {cameraAnswer({}), ZT_OK}};
    for (const Case& c : cases) {
        f.scriptSatchel("al", c.reply);
        Reply r = list(0);
        EXPECT_EQ(r.result, c.result);
        ASSERT_EQ(r.payload.size(), kPageSize);
        EXPECT_TRUE(zeroFrom(r.payload, 0));
    }
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

TEST_F(WirelessAnswersTest, PairingCancelIsZeroOnlyForOneZeroByte) {
    struct Case {
        CamReply reply;
        int32_t result;
    };
    const Case cases[] = {{cameraAnswer({0}), ZT_OK},     {cameraAnswer({1}), ZT_ERR},
                          {cameraAnswer({}), ZT_ERR},     {cameraAnswer({0, 0}), ZT_ERR},
                          {cameraError(ZT_ERR_NAK), ZT_ERR_NAK}};
    for (const Case& c : cases) {
        f.scriptSatchel("PX", c.reply);
        EXPECT_EQ(f.command(ZTCONTROL_RC_PAIR_CANCEL).result, c.result);
    }
    for (const CamRequest& r : f.requests("SA")) EXPECT_EQ(r.args, (std::vector<uint8_t>{'P', 'X'}));
}

TEST_F(WirelessAnswersTest, UnterminatedTextFieldsAreRefused) {
    Bytes ap(108, 0);
    memset(ap.data(), 'A', 33);  // name field without its NUL
    memcpy(ap.data() + 33, "secret", 6);
    Bytes apPassword(108, 0);
    memcpy(apPassword.data(), "cam", 3);
    memset(apPassword.data() + 33, 'p', 71);  // password runs into the flag word
    Bytes connect(104, 0);
    memset(connect.data(), 'C', 33);
    Bytes save(40, 0);
    memcpy(save.data(), "home", 4);
    memset(save.data() + 33, 's', 7);  // password runs to the end of the argument
    Bytes queue = {1, 0, 0, 0, '/', 'q'};
    struct Case {
        uint32_t id;
        Bytes arg;
    };
    const Case cases[] = {
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, ap},       {ZTCONTROL_WIFI_AP_SSID_CONFIG, apPassword},
        {ZTCONTROL_WIFI_AP_SSID_CONFIG, Bytes(107, 0)}, {ZTCONTROL_WIFI_SSID_SELECT, Bytes(103, 0)}, {ZTCONTROL_WIFI_SSID_SAVE, save},
        {ZTCONTROL_WIFI_SSID_SAVE, Bytes(32, 0)},     {ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queue},
        {ZTCONTROL_MQ_PUSH_NOTIFICATIONS, Bytes{1, 0, 0, 0}}, {ZTCONTROL_WIFI_SSID_DELETE, Bytes{'x', 'y'}},
    };
    for (const Case& c : cases) {
        const size_t before = f.log().count("Invalid parameter", UTIL_LOG_ERROR);
        EXPECT_EQ(f.command(c.id, c.arg).result, ZT_ERR_INVALID_PARAM) << "command " << c.id;
        EXPECT_EQ(f.log().count("Invalid parameter", UTIL_LOG_ERROR), before + 1) << "command " << c.id;
    }
    EXPECT_TRUE(f.requests("SA").empty());
    EXPECT_TRUE(f.server()->pushClients.empty());
    // Connect cuts its name and password to 31 characters, so full fields are cut, not refused.
    memset(connect.data() + 33, 'p', 67);
    EXPECT_EQ(f.command(ZTCONTROL_WIFI_SSID_SELECT, connect).result, ZT_OK);
    ASSERT_EQ(f.requests("SA").size(), 1u);
    const std::vector<uint8_t> sent = f.requests("SA")[0].args;
    ASSERT_EQ(sent.size(), 2u + 97u);
    EXPECT_EQ(std::string(sent.begin() + 2, sent.begin() + 2 + 4), std::string("\x01\x60\x00\x00", 4));
    EXPECT_EQ(std::string((const char*)sent.data() + 2 + 4, 32), std::string(31, 'C') + '\0');
    EXPECT_EQ(std::string((const char*)sent.data() + 2 + 37, 32), std::string(31, 'p') + '\0');
    // The trace line shows the field, bounded.
    EXPECT_TRUE(f.log().contains("ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[" + std::string(33, 'A') + "] password[secret]",
                                 UTIL_LOG_DEBUG));
}

}  // namespace
