// Satchel commands: access point and Bluetooth, Wi-Fi scan and its result pages, the client-mode
// network list, remote-control pairing.
#include <string.h>

#include <algorithm>

#include "camera_layout.h"
#include "camera_model.h"

namespace camsim {

using namespace camlayout;

namespace {

struct Network {
    const char* name;
    uint8_t auth;    // 0 open, 1 WPA2, 2 WPA3
    uint8_t signal;  // bars 0..4
    uint32_t mhz;
};

const Network kNetworks[] = {
    {"ZT-Lab", 1, 4, 5180},       {"ZT-Lab-2G", 1, 3, 2437},  {"Cafe Corner", 0, 2, 2412},
    {"Trailhead", 1, 1, 2462},    {"Harbour-5G", 2, 3, 5240}, {"Basecamp", 1, 2, 2437},
    {"Studio 7", 1, 4, 5745},     {"Guest", 0, 3, 2412},      {"Summit Hut", 1, 1, 2462},
    {"Van Life", 2, 2, 5180},     {"Dive Shop", 1, 2, 2437},  {"Mountain Inn", 0, 1, 2412},
};
constexpr int kNetworkCount = sizeof kNetworks / sizeof kNetworks[0];
constexpr size_t kMaxSaved = 16;

// Text of at most max characters starting at p, ending at a NUL or at the end of n bytes.
std::string field(const uint8_t* p, int n, int max) {
    int len = 0;
    while (len < n && len < max && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), size_t(len));
}

}  // namespace

void CameraModel::satchel(const char* code, const uint8_t* p, int n, Answer& a) {
    if (!strcmp(code, "AP")) return accessPoint(p, n, a);
    if (!strcmp(code, "al")) return scanPage(p, n, a);
    if (!strcmp(code, "CT") || !strcmp(code, "CL") || !strcmp(code, "CD")) return connectNetwork(code, p, n, a);
    if (!strcmp(code, "NI")) {  // scan start: 1, 1
        if (n < 2 || p[0] != 1) return a.fail(-3);
        if (++scanId_ == 0) scanId_ = 1;
        scanned_ = true;
        status_[ST_SCAN_STATE] = 1;
        scanEnds_ = now_ + 2.0;
        a.putByte(0);
        a.putByte(scanId_);
        return;
    }
    if (!strcmp(code, "CQ")) {  // store a network: name NUL [password NUL]
        std::string name = field(p, n, 64);
        if (name.empty() || name.size() > 32 || int(name.size()) >= n) return a.fail(-3);
        if (std::find(savedNetworks_.begin(), savedNetworks_.end(), name) == savedNetworks_.end()) {
            if (savedNetworks_.size() >= kMaxSaved) return a.fail(-101);
            savedNetworks_.push_back(name);
        }
        return;
    }
    if (!strcmp(code, "PD")) {  // pairing: 1, 2
        if (n < 2) return a.fail(-3);
        status_[ST_PAIRING] = 1;
        pairingEnds_ = now_ + 10.0;
        return;
    }
    if (!strcmp(code, "PX")) {  // cancel pairing: 0 when one was running
        a.putByte(status_[ST_PAIRING] ? 0 : 1);
        status_[ST_PAIRING] = 0;
        return;
    }
    a.fail(-104);
}

// Two bytes: sub-command 3 off, 1 on, 6 restart, 36 Bluetooth on. Longer: name and password
// (6 or 0, 1, password length, password, name length, name); 6 also restarts the access point.
void CameraModel::accessPoint(const uint8_t* p, int n, Answer& a) {
    if (n < 2) return a.fail(-3);
    if (n == 2) {
        switch (p[0]) {
        case 3: status_[ST_AP_STATE] = 0; status_[ST_CONNECTED_CLIENTS] = 0; return;
        case 1: case 6: status_[ST_AP_STATE] = 1; return;
        case 36: status_[ST_BLE_STATE] = 1; return;
        default: return a.fail(-3);
        }
    }
    if ((p[0] != 6 && p[0] != 0) || p[1] != 1 || n < 4) return a.fail(-3);
    int pwLen = p[2];
    if (3 + pwLen >= n) return a.fail(-3);
    int nameLen = p[3 + pwLen];
    if (4 + pwLen + nameLen > n || pwLen == 0 || nameLen == 0) return a.fail(-3);
    apPassword_.assign(reinterpret_cast<const char*>(p + 3), size_t(pwLen));
    apSsid_.assign(reinterpret_cast<const char*>(p + 4 + pwLen), size_t(nameLen));
    if (p[0] == 6) status_[ST_AP_STATE] = 1;
}

// Answer: 0, scan id, 0, 0, entries in this page, networks found, 0, then 96-byte entries
// (auth type, signal bars, name from byte 2, frequency u32 at byte 87).
void CameraModel::scanPage(const uint8_t* p, int n, Answer& a) {
    if (n < 1) return a.fail(-3);
    int offset = p[0];
    int want = n >= 2 ? std::min<int>(p[1], 10) : 10;
    int total = scanned_ ? kNetworkCount : 0;
    int count = std::max(0, std::min(want, total - offset));
    uint8_t head[7] = {0, scanId_, 0, 0, uint8_t(count), uint8_t(total), 0};
    a.put(head, sizeof head);
    for (int i = 0; i < count; ++i) {
        const Network& net = kNetworks[offset + i];
        uint8_t e[96] = {};
        e[0] = net.auth;
        e[1] = net.signal;
        memcpy(e + 2, net.name, strlen(net.name));
        putLe32(e + 87, net.mhz);
        a.put(e, sizeof e);
    }
}

// 97 bytes: CT/CL: 1, 96, auth type, 0, name (32 at 4), password (32 at 37); CD: 0 one / 1 all,
// 96, 0, 0, name.
void CameraModel::connectNetwork(const char* code, const uint8_t* p, int n, Answer& a) {
    if (n < 97) return a.fail(-3);
    std::string name = field(p + 4, 32, 32);
    if (!strcmp(code, "CD")) {
        if (p[0] == 1) {
            savedNetworks_.clear();
            wifiNetwork_.clear();
            return;
        }
        auto it = std::find(savedNetworks_.begin(), savedNetworks_.end(), name);
        if (name.empty() || it == savedNetworks_.end()) return a.fail(-101);
        savedNetworks_.erase(it);
        if (wifiNetwork_ == name) wifiNetwork_.clear();
        return;
    }
    if (name.empty()) return a.fail(-3);
    bool hasPassword = p[37] != 0;
    if (!strcmp(code, "CT") != hasPassword) return a.fail(-3);
    wifiNetwork_ = name;
    log_.write(SIMLOG_INFO, "joined network \"%s\"", name.c_str());
}

}  // namespace camsim
