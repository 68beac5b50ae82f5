// Satchel commands at their edges: scan pages past the results, access point and client-mode
// arguments. The layouts of whole pages, the stored networks and pairing are pinned by the
// daemon's wireless command tests against this simulator.
#include "camera_layout.h"
#include "test_support.h"

using namespace camsim_test;
using namespace camlayout;

namespace {

std::vector<uint8_t> connectArgs(uint8_t first, uint8_t auth, const std::string& name, const std::string& pw) {
    std::vector<uint8_t> a(97, 0);
    a[0] = first;
    a[1] = 96;
    a[2] = auth;
    std::copy(name.begin(), name.end(), a.begin() + 4);
    std::copy(pw.begin(), pw.end(), a.begin() + 37);
    return a;
}

}  // namespace

TEST_F(SimTest, ScanPagesEndWithTheResultsAndEveryScanHasANewId) {
    EXPECT_EQ(0, req->satchel("al", {0, 10, 255, 255, 1}).answer.at(4)) << "no results before a scan";
    Reply start = req->satchel("NI", {1, 1});
    EXPECT_EQ((std::vector<uint8_t>{0, 1}), start.answer);
    EXPECT_EQ(1, sim->state().status[ST_SCAN_STATE]);
    Reply rest = req->satchel("al", {10, 10, 255, 255, 1});
    EXPECT_EQ(size_t(7 + 2 * 96), rest.answer.size());
    EXPECT_EQ(2, rest.answer[4]);
    EXPECT_EQ(0, req->satchel("al", {20, 10, 255, 255, 1}).answer[4]);
    EXPECT_EQ(2, req->satchel("NI", {1, 1}).answer[1]);
    EXPECT_EQ(-3, req->satchel("NI", {0, 1}).result);
    EXPECT_EQ(-3, req->satchel("al").result);
    EXPECT_EQ(std::vector<uint8_t>{1}, req->satchel("PX").answer) << "no pairing to cancel";
}

TEST_F(SimTest, AccessPointAndNetworkArgumentsAreChecked) {
    EXPECT_EQ(0, req->satchel("AP", {1, 0}).result);
    EXPECT_EQ(1, sim->state().apState);
    EXPECT_EQ(0, req->satchel("AP", {3, 0}).result);
    EXPECT_EQ(0, sim->state().apState);
    sim->setStatus(ST_BLE_STATE, 0);
    EXPECT_EQ(0, req->satchel("AP", {36, 0}).result);
    EXPECT_EQ(1, sim->state().status[ST_BLE_STATE]);
    for (const Bytes& bad : {Bytes{9, 0}, Bytes{6, 1, 40, 'p', 'a'}, Bytes{6, 1, 2, 'p', 'a', 9, 'c'}, Bytes{6}})
        EXPECT_EQ(-3, req->satchel("AP", bad).result) << bad.size() << " bytes";

    EXPECT_EQ(0, req->satchel("CQ", {'h', 'o', 'm', 'e', 0, 'p', 'w', 0}).result);
    for (const Bytes& bad : {Bytes{0}, Bytes{'n', 'o', 'n', 'u', 'l'}, Bytes(33, 'x') + Bytes{0}})
        EXPECT_EQ(-3, req->satchel("CQ", bad).result) << bad.size() << " bytes";
    EXPECT_EQ(-3, req->satchel("CL", connectArgs(1, 0, "home", "pw")).result) << "CL carries no password";
    EXPECT_EQ(-3, req->satchel("CT", connectArgs(1, 3, "", "pw")).result);
    EXPECT_EQ(-3, req->satchel("CT", {1, 96}).result);
    EXPECT_EQ(-101, req->satchel("CD", connectArgs(0, 0, "nowhere", "")).result);
    EXPECT_EQ(0, req->satchel("CD", connectArgs(1, 0, "", "")).result);
    EXPECT_TRUE(sim->state().savedNetworks.empty()) << "first byte 1 forgets them all";
}
