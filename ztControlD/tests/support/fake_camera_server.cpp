#include "support/fake_camera_server.h"

#include <fcntl.h>
#include <string.h>

#include "commands/command_dispatch.h"
#include "csi_settings.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"
#include "zt_msg_classes.h"

namespace {

uint16_t remoteKey(uint8_t category, uint8_t op) { return (uint16_t)(category << 8 | op); }

void putLe(std::vector<uint8_t>& block, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width && offset + i < block.size(); ++i) block[offset + i] = (uint8_t)(value >> (8 * i));
}

}  // namespace

CamReply cameraAnswer(const std::vector<uint8_t>& bytes) { return CamReply{0, 0, bytes, 0}; }

CamReply cameraError(int32_t result) { return CamReply{result, 0, {}, 0}; }

FakeCameraServer::FakeCameraServer()
    : status_(CSI_STATUS_BLOCK_SIZE), settings_(CSI_SETTINGS_BLOCK_SIZE), savedLogLevel_(g_logLevel) {
    camera_.reset(new FakeCamera([this](const CamRequest& r) { return answer(r); }));

    resetControlContext();
    g_ztcContext.rxMqd = cameraReplies_.descriptor();
    strncpy(g_ztcContext.rxName, cameraReplies_.name().c_str(), sizeof(g_ztcContext.rxName) - 1);
    strncpy(g_ztcContext.cameraMboxName, camera_->name().c_str(), sizeof(g_ztcContext.cameraMboxName) - 1);
    g_ztcContext.txMqd = mq_open(camera_->name().c_str(), O_WRONLY);
    g_ztcContext.replyTimeoutMs = 2000;
    g_modelNumber = 55;
    g_logLevel = UTIL_LOG_TRACE;

    server_ = ZtcontrolCommandServer::getInstance();
    memset(&server_->lastSnapshot, 0, sizeof(server_->lastSnapshot));
    memset(&server_->throttledSnapshot, 0, sizeof(server_->throttledSnapshot));
    memset(&server_->lastThrottledPoll, 0, sizeof(server_->lastThrottledPoll));
    server_->protocolAdapterSet = true;
    server_->needLenses = false;
    server_->presetRefreshPending = false;
    server_->txBuffer = new uint8_t[ZT_MSG_BUFFER_SIZE];  // released by stop()
    camera_status_init_bossCache(g_modelNumber, server_->bossCache);
}

FakeCameraServer::~FakeCameraServer() {
    // The context is reset here, so that stop() neither closes these descriptors (the camera reply
    // queue closes its own) nor unlinks the daemon's fixed reply mailbox name.
    if (g_ztcContext.txMqd != (mqd_t)-1) mq_close(g_ztcContext.txMqd);
    resetControlContext();
    server_->stop();
    ZtcontrolCommandServer::destroyInstance();
    camera_.reset();
    g_modelNumber = 0;
    g_logLevel = savedLogLevel_;
}

void FakeCameraServer::setStatus(size_t offset, uint32_t value, int width) {
    std::lock_guard<std::mutex> lock(mutex_);
    putLe(status_, offset, value, width);
}

void FakeCameraServer::setSettings(size_t offset, uint32_t value, int width) {
    std::lock_guard<std::mutex> lock(mutex_);
    putLe(settings_, offset, value, width);
}

void FakeCameraServer::scriptRemote(uint8_t category, uint8_t op, const std::optional<CamReply>& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reply)
        remote_[remoteKey(category, op)] = *reply;
    else
        remote_.erase(remoteKey(category, op));
}

void FakeCameraServer::scriptSatchel(const std::string& code, const CamReply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    satchel_[code] = reply;
}

std::vector<CamRequest> FakeCameraServer::requests(const std::string& op) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CamRequest> out;
    for (const CamRequest& r : seen_)
        if (r.op == op) out.push_back(r);
    return out;
}

void FakeCameraServer::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.clear();
}

CamReply FakeCameraServer::answer(const CamRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(request);
    if (request.op == "RA" && request.args.size() >= 2) {
        auto scripted = remote_.find(remoteKey(request.args[0], request.args[1]));
        if (scripted != remote_.end()) return scripted->second;
        if (request.args[0] == 8 && request.args[1] == 11) return cameraAnswer(status_);
        if (request.args[0] == 7 && request.args[1] == 30) return cameraAnswer(settings_);
    }
    if (request.op == "SA" && request.args.size() >= 2) {
        auto scripted = satchel_.find(std::string(request.args.begin(), request.args.begin() + 2));
        if (scripted != satchel_.end()) return scripted->second;
    }
    return CamReply();
}

Reply FakeCameraServer::command(uint32_t id, const std::optional<Bytes>& arg) {
    Bytes bytes = buildRequest(id, arg, requester_.replyName().c_str());
    Msg request(ZT_MSG_CATEGORY);
    MemStream in(bytes.data(), bytes.size());
    in >> request;
    handleCommand(server_, &request, id);
    return requester_.waitReply(2000);
}
