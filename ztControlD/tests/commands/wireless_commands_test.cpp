// Wireless and remote-control commands through the daemon mailbox: every satchel payload checked
// byte for byte in the simulator's operation log, and the camera's state after them.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "support/daemon_harness.h"
#include "support/sim_ops.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

// Packed argument: name field at 0, password from 33, a 32-bit word at wordOffset.
Bytes packed(size_t size, const std::string& name, const std::string& password, size_t wordOffset, uint32_t word) {
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

class WirelessCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.startClean());
    }

    int32_t call(uint32_t id, const std::optional<Bytes>& arg = std::nullopt, Bytes* payload = nullptr) {
        Reply reply = d.requester().call(id, arg);
        EXPECT_TRUE(reply.received) << "no response to " << id;
        if (payload) *payload = reply.payload;
        return reply.result;
    }

    // Payloads of the satchel commands received with the code, oldest first; clears the log.
    std::vector<Bytes> satchel(const std::string& code) {
        std::vector<Bytes> out;
        for (const camsim::OpRecord& op : opsNamed(d.sim(), "satchel " + code)) out.push_back(op.payload);
        d.sim().clearOps();
        return out;
    }

    InProcessDaemon d;
};

TEST_F(WirelessCommandsTest, AccessPointBluetoothBandAndRemoteApiControl) {
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(0)), ZT_OK);
    EXPECT_EQ(d.sim().state().status[56], 0);  // access point off
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(1)), ZT_OK);
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(2)), ZT_OK);
    EXPECT_EQ(satchel("AP"), (std::vector<Bytes>{{3, 0}, {1, 0}, {6, 0}}));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_AP_CONTROL: action:2", UTIL_LOG_DEBUG));

    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(3)), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());
    EXPECT_FALSE(d.log().contains("Invalid parameter"));

    EXPECT_EQ(call(ZTCONTROL_BLE_CONTROL, u8Arg(0)), ZT_OK);  // the argument is not read
    EXPECT_EQ(call(ZTCONTROL_BLE_CONTROL), ZT_OK);
    EXPECT_EQ(satchel("AP"), (std::vector<Bytes>{{36, 0}, {36, 0}}));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_BLE_CONTROL", UTIL_LOG_DEBUG));

    // The band is a remote operation.
    EXPECT_EQ(call(ZTCONTROL_WIFI_BAND_SELECT, u32Arg(1)), ZT_OK);
    std::vector<camsim::OpRecord> ops = opsNamed(d.sim(), "remote 6/19");
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].payload, Bytes{1});
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_BAND_SELECT: band:1", UTIL_LOG_DEBUG));
    d.sim().clearOps();
    EXPECT_EQ(call(ZTCONTROL_WIFI_BAND_SELECT, u32Arg(2)), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());

    // The remote API command answers 0 and sends nothing.
    EXPECT_EQ(call(ZTCONTROL_REMOTE_API), ZT_OK);
    EXPECT_EQ(call(ZTCONTROL_REMOTE_API, u32Arg(7)), ZT_OK);
    EXPECT_EQ(d.log().count("ZTCONTROL_REMOTE_API:", UTIL_LOG_DEBUG), 2u);
    EXPECT_TRUE(d.sim().ops().empty());
}

TEST_F(WirelessCommandsTest, AccessPointNameAndPassword) {
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument("ZT-Cam-55", "secret123", 0)), ZT_OK);
    const Bytes expected = cat(cat(Bytes{6, 1, 9}, chars("secret123")), cat(Bytes{9}, chars("ZT-Cam-55")));
    EXPECT_EQ(satchel("AP"), std::vector<Bytes>{expected});
    EXPECT_EQ(d.sim().state().apSsid, "ZT-Cam-55");
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[ZT-Cam-55] password[secret123]", UTIL_LOG_DEBUG));

    // Flag word 1 sends a first byte of 0; the longest name and password travel whole.
    const std::string name(32, 'n'), password(70, 'p');
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument(name, password, 1)), ZT_OK);
    EXPECT_EQ(satchel("AP"), std::vector<Bytes>{cat(cat(Bytes{0, 1, 70}, chars(password)), cat(Bytes{32}, chars(name)))});

    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument("ZT-Cam", "", 0)), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_SSID_CONFIG, apArgument("", "secret", 0)), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());
}

// The page layout is pinned against a scripted camera; here the simulator's twelve networks.
TEST_F(WirelessCommandsTest, ScanThenReadTheLastPage) {
    Bytes scan;
    ASSERT_EQ(call(ZTCONTROL_WIFI_SSID_SCAN, u8Arg(1), &scan), ZT_OK);
    EXPECT_NE(readLe(scan, 0, 4), 0u);
    EXPECT_EQ(satchel("NI"), (std::vector<Bytes>{{1, 1}}));
    Bytes page;
    ASSERT_EQ(call(ZTCONTROL_WIFI_SSID_LIST, u8Arg(10), &page), ZT_OK);
    EXPECT_EQ(satchel("al"), (std::vector<Bytes>{{10, 10, 255, 255, 1}}));
    EXPECT_EQ(readLe(page, 4, 2), 2u);
    EXPECT_EQ(readLe(page, 8, 4), 12u);
    EXPECT_EQ(scanPageName(page, 1), "Mountain Inn");
}

TEST_F(WirelessCommandsTest, StoreConnectAndForgetNetworks) {
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SAVE, networkArgument("Home", "pw123456")), ZT_OK);
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SAVE, networkArgument(std::string(32, 'o'), "")), ZT_OK);
    EXPECT_EQ(satchel("CQ"), (std::vector<Bytes>{cat(chars("Home"), cat(Bytes{0}, cat(chars("pw123456"), Bytes{0}))),
                                                 cat(chars(std::string(32, 'o')), Bytes{0})}));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_SSID_SAVE: ssid[Home] password[pw123456]", UTIL_LOG_DEBUG));
    EXPECT_EQ(d.sim().state().savedNetworks, (std::vector<std::string>{"Home", std::string(32, 'o')}));

    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SAVE, networkArgument("", "pw")), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SAVE, networkArgument("Home", std::string(33, 'p'))), ZT_ERR_INVALID_PARAM);
    Bytes longName = networkArgument("", "");
    memset(longName.data(), 'x', 33);  // 33 characters: no room for the NUL in the field
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SAVE, longName), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());

    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SELECT, networkArgument("Home", "pw123456", 1)), ZT_OK);
    EXPECT_EQ(satchel("CT"), std::vector<Bytes>{networkPayload(1, 1, "Home", "pw123456")});
    EXPECT_EQ(d.sim().state().wifiNetwork, "Home");
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_SSID_SELECT: ssid[Home] password[pw123456] auth_type:1", UTIL_LOG_DEBUG));
    // No password: "CL"; the name is cut to 31 characters.
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SELECT, networkArgument(std::string(32, 'o'), "", 255)), ZT_OK);
    EXPECT_EQ(satchel("CL"), std::vector<Bytes>{networkPayload(1, 255, std::string(31, 'o'), "")});
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SELECT, networkArgument("Home", "pw", 256)), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_SELECT, networkArgument("", "pw", 1)), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());

    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_DELETE, textArg("Home")), ZT_OK);
    EXPECT_EQ(satchel("CD"), std::vector<Bytes>{networkPayload(0, 0, "Home", "")});
    EXPECT_TRUE(d.log().contains("ZTCONTROL_WIFI_SSID_DELETE: ssid[Home]", UTIL_LOG_DEBUG));
    EXPECT_EQ(d.sim().state().savedNetworks, std::vector<std::string>{std::string(32, 'o')});
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_DELETE, textArg("")), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.sim().ops().empty());

    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_DELETE_ALL), ZT_OK);
    EXPECT_EQ(satchel("CD"), std::vector<Bytes>{networkPayload(1, 0, "", "")});
    EXPECT_TRUE(d.sim().state().savedNetworks.empty());
    EXPECT_EQ(call(ZTCONTROL_WIFI_SSID_DELETE_ALL, u8Arg(1)), ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(d.log().contains("Invalid parameter", UTIL_LOG_ERROR));
}

TEST_F(WirelessCommandsTest, PairingItsCancelAndLibraryErrors) {
    EXPECT_EQ(call(ZTCONTROL_RC_PAIR), ZT_OK);
    EXPECT_EQ(satchel("PD"), (std::vector<Bytes>{{1, 2}}));
    EXPECT_EQ(d.sim().state().status[58], 1);  // pairing
    EXPECT_EQ(call(ZTCONTROL_RC_PAIR_CANCEL), ZT_OK);
    EXPECT_EQ(d.sim().state().status[58], 0);
    EXPECT_TRUE(d.log().contains("ZTCONTROL_RC_PAIR:", UTIL_LOG_DEBUG));
    EXPECT_TRUE(d.log().contains("ZTCONTROL_RC_PAIR_CANCEL:", UTIL_LOG_DEBUG));
    // Library errors are answered unchanged.
    d.sim().injectFault(camsim::OpMatch::satchel("PD"), ZT_ERR_NAK);
    EXPECT_EQ(call(ZTCONTROL_RC_PAIR), ZT_ERR_NAK);
    d.sim().injectFault(camsim::OpMatch::satchel("AP"), -17);
    EXPECT_EQ(call(ZTCONTROL_WIFI_AP_CONTROL, u32Arg(1)), -17);
}

}  // namespace
