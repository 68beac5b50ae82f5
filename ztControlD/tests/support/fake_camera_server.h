// The command server object, never started, wired to a scripted camera (FakeCamera of the
// platform tests) on private mailboxes: for tests that call the status poll or a command handler
// directly on the test thread and script camera answers that the simulator never gives (one
// query off but not the other, short or inconsistent answers). No fixed mailbox name is used.
#ifndef ZTCONTROLD_TESTS_FAKE_CAMERA_SERVER_H
#define ZTCONTROLD_TESTS_FAKE_CAMERA_SERVER_H

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_camera.h"
#include "support/log_capture.h"
#include "support/requester.h"

class ZtcontrolCommandServer;

class FakeCameraServer {
public:
    // Model 55, protocol adapter set, camera state cache up to date (no lens or preset reads),
    // snapshots zero, log level 6.
    FakeCameraServer();
    ~FakeCameraServer();
    FakeCameraServer(const FakeCameraServer&) = delete;
    FakeCameraServer& operator=(const FakeCameraServer&) = delete;

    ZtcontrolCommandServer* server() { return server_; }
    LogCapture& log() { return log_; }

    // The camera's blocks, answered to 8/11 and 7/30 unless a reply is scripted for them.
    void setStatus(size_t offset, uint32_t value, int width = 1);
    void setSettings(size_t offset, uint32_t value, int width = 1);
    void scriptRemote(uint8_t category, uint8_t op, const std::optional<CamReply>& reply);
    // Reply to a satchel code; unscripted codes answer 0 with no data.
    void scriptSatchel(const std::string& code, const CamReply& reply);

    // Requests received with the link code ("RA", "SA", ...), oldest first; args as received.
    std::vector<CamRequest> requests(const std::string& op) const;
    void clearRequests();

    // Runs one control request through handleCommand on this thread and returns its response.
    Reply command(uint32_t id, const std::optional<Bytes>& arg = std::nullopt);

private:
    CamReply answer(const CamRequest& request);

    LogCapture log_;
    Requester requester_{"/ztcd_unused"};
    mutable std::mutex mutex_;
    std::vector<uint8_t> status_;
    std::vector<uint8_t> settings_;
    std::map<uint16_t, CamReply> remote_;
    std::map<std::string, CamReply> satchel_;
    std::vector<CamRequest> seen_;
    std::unique_ptr<FakeCamera> camera_;
    PrivateQueue cameraReplies_{"rx", 2};
    ZtcontrolCommandServer* server_ = nullptr;
    int savedLogLevel_;
};

// Reply helpers.
CamReply cameraAnswer(const std::vector<uint8_t>& bytes);
CamReply cameraError(int32_t result);

#endif
