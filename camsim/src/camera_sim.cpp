// Lifecycle of the simulator and its request loop: receive on the camera mailbox, record the
// operation, apply faults, let the camera model answer, reply with a bounded send.
#include "camsim/camera_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "sim_impl.h"

namespace camsim {

const char* directOpName(uint16_t op);

namespace {

constexpr int32_t kTickNs = 50 * 1000 * 1000;
constexpr int32_t kNsPerSecond = 1000 * 1000 * 1000;

bool isCode(const OpId& id, const char* code) { return !strcmp(id.code, code); }

// Holds an abstract socket named after the camera mailbox: one simulator per mailbox, released
// by the kernel when the process dies. -1 when another holder exists.
int lockMailbox(const std::string& mbox) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    int n = snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "ztcamsim%s", mbox.c_str());
    socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

CameraSim::Impl::Impl(const Options& o)
    : opt(o),
      log(o.verbosity),
      model(o.model, o.transcodeSeconds, *this, log),
      ops(o.opsCapacity),
      outbox(log),
      control(log, [this](const std::string& line) { return runCommand(line); }) {}

double CameraSim::Impl::realSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int CameraSim::Impl::start() {
    if (runningFlag) {
        error = "already running";
        return -1;
    }
    if (opt.model != 50 && opt.model != 51 && opt.model != 55) {
        error = "model must be 50, 51 or 55";
        return -1;
    }
    if (!validMboxName(opt.cameraMbox) || !validMboxName(opt.daemonMbox)) {
        error = "mailbox names are \"/\" and up to 62 characters without another slash";
        return -1;
    }
    if (!(opt.timeScale > 0)) {
        error = "time scale must be above 0";
        return -1;
    }
    lockFd = lockMailbox(opt.cameraMbox);
    if (lockFd < 0) {
        error = "camera mailbox " + opt.cameraMbox + " is already served by another simulator";
        return -1;
    }
    if (ztMbox_rxopen_ext(opt.cameraMbox.c_str(), 10, ZTMSG_MAX, &camBox) != 0) {
        error = "cannot open camera mailbox " + opt.cameraMbox + ": " + strerror(errno);
        close(lockFd);
        return -1;
    }
    struct mq_attr attr;
    if (mq_getattr(camBox.mqd, &attr) != 0 || attr.mq_msgsize > ZTMSG_MAX) {
        error = "camera mailbox " + opt.cameraMbox + " exists with messages larger than 1500 bytes";
        ztMbox_close(&camBox);
        close(lockFd);
        return -1;
    }
    if (!opt.controlPath.empty() && control.start(opt.controlPath, &error) != 0) {
        ztMbox_close(&camBox);
        ztMbox_unlink(opt.cameraMbox.c_str());
        close(lockFd);
        return -1;
    }
    t0 = std::chrono::steady_clock::now();
    stopping = false;
    outbox.start();
    runningFlag = true;
    serveThread = std::thread(&Impl::serve, this);
    log.write(SIMLOG_TRACE, "model %d serving %s, events to %s", opt.model, opt.cameraMbox.c_str(),
              opt.daemonMbox.c_str());
    return 0;
}

void CameraSim::Impl::stop() {
    if (!runningFlag) return;
    stopping = true;
    wakeServeThread();
    serveThread.join();
    if (replyBox.mqd != (mqd_t)-1) ztMbox_close(&replyBox);
    control.stop();
    outbox.stop();
    ztMbox_close(&camBox);
    ztMbox_unlink(opt.cameraMbox.c_str());
    close(lockFd);
    lockFd = -1;
    runningFlag = false;
    log.write(SIMLOG_INFO, "stopped");
}

// An empty message on the camera mailbox ends the serve thread's wait at once. When the mailbox
// is full the thread is busy anyway, and the tick bounds the wait in every case.
void CameraSim::Impl::wakeServeThread() {
    mqd_t box = mq_open(opt.cameraMbox.c_str(), O_WRONLY | O_NONBLOCK);
    if (box == (mqd_t)-1) return;
    mq_send(box, "", 0, 0);
    mq_close(box);
}

void CameraSim::Impl::serve() {
    while (!stopping) {
        // One timed receive per message; its time-out is the tick of simulated time.
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += kTickNs;
        if (until.tv_nsec >= kNsPerSecond) {
            until.tv_sec += 1;
            until.tv_nsec -= kNsPerSecond;
        }
        ssize_t n = mq_timedreceive(camBox.mqd, reinterpret_cast<char*>(rx), sizeof rx, nullptr, &until);
        const int error = errno;
        {
            std::lock_guard<std::mutex> lock(mu);
            model.advance(realSeconds() * opt.timeScale);
        }
        if (stopping) break;
        if (n < 0) {
            if (error != ETIMEDOUT && error != EINTR) log.write(SIMLOG_ERROR, "receive: %s", strerror(error));
            continue;
        }
        handleMessage(int(n));
    }
}

void CameraSim::Impl::recordUnanswerable(int category, const char* why) {
    std::lock_guard<std::mutex> lock(mu);
    OpRecord& rec = ops.next();
    rec.category = category;
    rec.atSeconds = realSeconds();
    rec.outcome = OpOutcome::Malformed;
    opsCv.notify_all();
    log.write(SIMLOG_ERROR, "message of category %d dropped: %s", category, why);
}

void CameraSim::Impl::handleMessage(int len) {
    TlvReader r;
    if (!r.parse(rx, len)) return recordUnanswerable(len >= 4 ? rx[3] : -1, "not a valid TLV message");
    std::string cmd = r.text(TLV_CMD, 2);
    if (r.category() == 16 && cmd == "CR") return handleSubscription(r);
    if (r.category() == CAMLINK_CAT_REQUEST) return handleRequest(r);
    recordUnanswerable(r.category(), "unexpected category");
}

// The daemon's transcode subscription: argument 1 (subscribe) or 0 (unsubscribe), then 0x4F.
// Answered with category 17 to the mailbox in TLV_SRC, through the sender thread because that
// mailbox holds two messages and its owner may not be reading yet.
void CameraSim::Impl::handleSubscription(const TlvReader& r) {
    TlvValue arg = r.find(TLV_CMDARG);
    std::string src = r.text(TLV_SRC);
    OpId id;
    memcpy(id.code, "CR", 3);
    uint8_t status = 0;
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(mu);
        OpRecord& rec = ops.next();
        rec.category = 16;
        rec.atSeconds = realSeconds();
        rec.id = id;
        if (arg.present) rec.payload.assign(arg.data, arg.data + arg.len);
        rec.replyTo = src;
        int32_t err = 0;
        if (!validMboxName(src)) {
            rec.outcome = OpOutcome::Unanswerable;
        } else if (faults.dropFor(id)) {
            rec.outcome = OpOutcome::Dropped;
        } else if (faults.errorFor(id, &err) || arg.len < 1) {
            status = 1;
            rec.result = err ? err : -3;
        } else {
            model.setSubscribed(arg.data[0] == 1);
            log.write(SIMLOG_INFO, "daemon %s transcode events", arg.data[0] == 1 ? "subscribed to" : "unsubscribed from");
        }
        delay = faults.delayFor(id);
        if (rec.outcome == OpOutcome::Replied && delay) rec.outcome = OpOutcome::Delayed;
        OpOutcome outcome = rec.outcome;
        opsCv.notify_all();
        if (outcome == OpOutcome::Unanswerable || outcome == OpOutcome::Dropped) return;
    }
    uint8_t none = 0;
    TlvBuilder b(tx, ZTMSG_MAX, 17);
    b.add(TLV_CMD, "CR", 2).add(TLV_CMDARG, arg.present ? arg.data : &none, arg.len);
    b.add(TLV_RSPARG, &status, 1).addText(TLV_SRC, opt.cameraMbox).addText(TLV_DST, src);
    int len = b.finish();
    if (len < 0 || outbox.post(src, tx, len, delay, opt.eventTimeoutMs, "subscription answer") != 0)
        log.write(SIMLOG_ERROR, "subscription answer to %s not queued", src.c_str());
}

void CameraSim::Impl::handleRequest(const TlvReader& r) {
    TlvValue cmd = r.find(TLV_CMD);
    TlvValue arg = r.find(TLV_CMDARG);
    std::string src = r.text(TLV_SRC);
    if (cmd.len != 2 || arg.len < 4) return recordUnanswerable(CAMLINK_CAT_REQUEST, "no code or sequence number");
    OpId id;
    memcpy(id.code, cmd.data, 2);
    uint32_t seq = getBe32(arg.data);
    const uint8_t* p = arg.data + 4;
    int n = arg.len - 4;
    bool headerOk = true;
    if (isCode(id, "RA") || isCode(id, "SA") || isCode(id, "DC")) {
        headerOk = n >= 2;
        if (headerOk && isCode(id, "RA")) {
            id.category = p[0];
            id.op = p[1];
        } else if (headerOk && isCode(id, "SA")) {
            id.satchel[0] = char(p[0]);
            id.satchel[1] = char(p[1]);
        } else if (headerOk) {
            id.direct = getBe16(p);
        }
        if (headerOk) {
            p += 2;
            n -= 2;
        }
    }
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(mu);
        OpRecord& rec = ops.next();
        rec.category = CAMLINK_CAT_REQUEST;
        rec.atSeconds = realSeconds();
        rec.id = id;
        rec.sequence = seq;
        rec.payload.assign(p, p + n);
        rec.replyTo = src;
        if (!validMboxName(src) || faults.dropFor(id)) {
            rec.outcome = validMboxName(src) ? OpOutcome::Dropped : OpOutcome::Unanswerable;
            opsCv.notify_all();
            if (log.enabled(SIMLOG_TRACE)) log.write(SIMLOG_TRACE, "%s (seq %u) not answered", rec.name().c_str(), seq);
            return;
        }
        answer_.reset();
        if (headerOk) dispatch(id, p, n);
        else answer_.fail(-3);
        if (answer_.result != 0) {
            int8_t nak = faults.takeNak();
            if (nak) answer_.nak = nak;
        } else {
            int cut = faults.cutFor(id);
            if (cut >= 0 && answer_.len > cut) answer_.len = uint16_t(cut);
        }
        delay = faults.delayFor(id);
        rec.result = answer_.result;
        rec.nak = answer_.nak;
        rec.answerLen = answer_.len;
        rec.outcome = delay ? OpOutcome::Delayed : OpOutcome::Replied;
        opsCv.notify_all();
        // The name is formatted only for a log that shows it: this is the per-request path.
        if (log.enabled(SIMLOG_TRACE))
            log.write(SIMLOG_TRACE, "%s (seq %u) -> %d, %u bytes", rec.name().c_str(), seq, answer_.result,
                      answer_.len);
    }
    // RSPARG: result i32 big-endian, NAK reason, answer bytes.
    uint8_t rsp[5 + CAMLINK_MAX_ANSWER];
    putBe32(rsp, uint32_t(answer_.result));
    rsp[4] = uint8_t(answer_.nak);
    memcpy(rsp + 5, answer_.bytes, answer_.len);
    TlvBuilder b(tx, ZTMSG_MAX, CAMLINK_CAT_REPLY);
    b.add(TLV_CMD, cmd.data, 2).add(TLV_CMDARG, arg.data, 4).add(TLV_RSPARG, rsp, 5 + answer_.len);
    b.addText(TLV_SRC, opt.cameraMbox).addText(TLV_DST, src);
    int len = b.finish();
    if (len < 0) {
        log.write(SIMLOG_ERROR, "reply to %s does not fit a message", src.c_str());
        return;
    }
    sendReply(src, tx, len, delay, "delayed reply");
}

void CameraSim::Impl::sendReply(const std::string& dest, const uint8_t* msg, int len, int delayMs, const char* what) {
    if (delayMs > 0) {
        if (outbox.post(dest, msg, len, delayMs, opt.replyTimeoutMs, what) != 0)
            log.write(SIMLOG_ERROR, "%s to %s not queued", what, dest.c_str());
        return;
    }
    if (sendToReplyBox(dest, msg, len) != 0)
        log.write(SIMLOG_ERROR, "reply to %s dropped: mailbox full or missing", dest.c_str());
}

// The reply mailbox stays open between replies: an open and a close per reply cost more than
// the reply itself. A requester that restarts creates its mailbox afresh; the old queue then has
// no link left, and the next reply opens the new one.
int CameraSim::Impl::sendToReplyBox(const std::string& dest, const uint8_t* msg, int len) {
    struct stat st;
    if (replyBox.mqd != (mqd_t)-1 &&
        (dest != replyBoxName || fstat(replyBox.mqd, &st) != 0 || st.st_nlink == 0))
        ztMbox_close(&replyBox);
    if (replyBox.mqd == (mqd_t)-1) {
        replyBoxName = dest;  // the handle keeps a pointer to its name
        if (ztMbox_txopen(replyBoxName.c_str(), &replyBox) != 0) return -1;
    }
    int r = ztMbox_timedsend(msg, len, &replyBox, opt.replyTimeoutMs);
    if (r != 0) ztMbox_close(&replyBox);
    return r;
}

void CameraSim::Impl::dispatch(const OpId& id, const uint8_t* p, int n) {
    int32_t err = 0;
    if (faults.errorFor(id, &err)) return answer_.fail(err);
    if (isCode(id, "MN")) {
        if (faults.modelUnreadable) return answer_.fail(-1);
        answer_.putByte(uint8_t(model.model()));
        return;
    }
    if (isCode(id, "PA")) return model.selectAdapter(p, n, answer_);
    if (isCode(id, "CS")) return model.csiSet(p, n, answer_);
    bool cameraOp = isCode(id, "RA") || isCode(id, "SA") || isCode(id, "DC") || isCode(id, "SV");
    if (!cameraOp) return answer_.fail(-104);
    if (!model.powerOn()) {
        // An off camera answers its data operations with the single byte 2; the library's own
        // calls that expect values cannot complete.
        if (isCode(id, "DC") || isCode(id, "SV")) answer_.fail(-103);
        answer_.putByte(2);
        return;
    }
    if (isCode(id, "RA")) return model.remote(id.category, id.op, p, n, answer_);
    if (isCode(id, "SA")) return model.satchel(id.satchel, p, n, answer_);
    if (isCode(id, "DC")) return model.direct(id.direct, p, n, answer_);
    model.setValue(p, n, answer_);
}

int CameraSim::Impl::postEvent(int category, const char* cmd, const uint8_t* arg, int argLen) {
    uint8_t msg[ZTMSG_MAX];
    uint8_t none = 0;
    TlvBuilder b(msg, ZTMSG_MAX, category);
    b.add(TLV_CMD, cmd, 2).add(TLV_CMDARG, arg ? arg : &none, arg ? argLen : 0);
    b.addText(TLV_SRC, opt.cameraMbox).addText(TLV_DST, opt.daemonMbox);
    int len = b.finish();
    if (len < 0) {
        log.write(SIMLOG_ERROR, "event %.2s does not fit a message", cmd);
        return -1;
    }
    char what[16];
    snprintf(what, sizeof what, "event %.2s", cmd);
    log.write(SIMLOG_INFO, "%s queued", what);
    return outbox.post(opt.daemonMbox, msg, len, 0, opt.eventTimeoutMs, what);
}

int CameraSim::Impl::presetUpdateEvent(uint8_t event, uint32_t presetId) {
    uint8_t arg[5];
    arg[0] = event;
    putLe32(arg + 1, presetId);
    if (event == kPresetSwitchedEvent) {
        // A switch reported by the camera is one the camera made: follow it.
        std::lock_guard<std::mutex> lock(mu);
        if (model.switchPresetFromCamera(presetId) != 0)
            log.write(SIMLOG_INFO, "preset 0x%x unknown; event sent all the same", presetId);
    }
    return postEvent(10, "PU", arg, sizeof arg);
}

int CameraSim::Impl::transcodeEvent(const std::string& text) {
    if (text.empty() || text.size() > 255 || text.find('\0') != std::string::npos) return -1;
    return postTranscodeNotification(*this, text.c_str());
}

// ---- public interface ----

CameraSim::CameraSim(const Options& options) : impl_(new Impl(options)) {}

CameraSim::~CameraSim() { stop(); }

int CameraSim::start() { return impl_->start(); }
void CameraSim::stop() { impl_->stop(); }
bool CameraSim::running() const { return impl_->runningFlag; }
const Options& CameraSim::options() const { return impl_->opt; }

std::string CameraSim::lastError() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->error;
}

SimState CameraSim::state() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    SimState s;
    impl_->model.fill(s);
    s.modelUnreadable = impl_->faults.modelUnreadable;
    s.opsReceived = impl_->ops.total();
    return s;
}

std::string CameraSim::stateJson() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->stateJsonLocked();
}

int CameraSim::setStatus(int offset, uint32_t value, int width) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.writeStatus(offset, value, width);
}

int CameraSim::setSettings(int offset, uint32_t value, int width) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.writeSettings(offset, value, width);
}

void CameraSim::setLens(int lensMode, int lens) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->model.setLens(lensMode, lens);
}

void CameraSim::setPower(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->model.setPower(on);
}

void CameraSim::setModelUnreadable(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.modelUnreadable = on;
}

int CameraSim::injectFault(const OpMatch& op, int32_t err) {
    if (err >= 0) return -3;
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->faults.addError(op, err) ? 0 : -1;
}

void CameraSim::setNakReason(int8_t reason, bool everyFailure) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.setNak(reason, everyFailure);
}

void CameraSim::setNoReply(const OpMatch& op) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.addNoReply(op);
}

void CameraSim::clearNoReply() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.clearNoReply();
}

void CameraSim::setDelay(const OpMatch& op, int ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.addDelay(op, ms);
}

void CameraSim::setAnswerCut(const OpMatch& op, int bytes) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.addCut(op, bytes);
}

void CameraSim::clearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.clear();
}

int CameraSim::sendSuspend() { return impl_->postEvent(16, "JS", nullptr, 0); }
int CameraSim::sendResume() { return impl_->postEvent(16, "JR", nullptr, 0); }

int CameraSim::sendPresetUpdate(uint8_t event, uint32_t presetId) { return impl_->presetUpdateEvent(event, presetId); }
int CameraSim::sendTranscodeProgress(const std::string& text) { return impl_->transcodeEvent(text); }

std::vector<OpRecord> CameraSim::ops(size_t max) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->ops.recent(max);
}

uint64_t CameraSim::opsReceived() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->ops.total();
}

void CameraSim::clearOps() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->ops.clear();
}

bool CameraSim::waitForOps(uint64_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->opsCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return impl_->ops.total() >= count; });
}

std::string CameraSim::control(const std::string& line) { return impl_->runCommand(line); }

uint32_t SimState::statusWord(int offset) const {
    return offset >= 0 && offset + 4 <= kStatusSize ? getLe32(status + offset) : 0;
}

uint32_t SimState::activePreset() const {
    uint32_t group = modeGroup();
    return group == 6 ? statusWord(23) : statusWord(7 + 4 * int(group % 3));
}

const PresetInfo* SimState::preset(uint32_t id) const {
    for (const PresetInfo& p : presets)
        if (p.id == id) return &p;
    return nullptr;
}

std::vector<uint32_t> SimState::groupIds(int group) const {
    std::vector<uint32_t> ids;
    for (const PresetInfo& p : presets)
        if (p.group == group) ids.push_back(p.id);
    return ids;
}

}  // namespace camsim
