// The camera simulator: plays the network daemon, the camera and the settings service behind the
// platform stand-ins, on its own threads, inside a test process or as the program ztcamsim.
//
//   camsim::Options opt;
//   opt.cameraMbox = "/camsim_cam_1234";   // own names let tests run in parallel
//   opt.daemonMbox = "/camsim_dmn_1234";
//   camsim::CameraSim sim(opt);
//   if (sim.start() != 0) { ... sim.lastError() ... }
//   ... drive it through the camera mailbox ...
//   sim.state().recording();  sim.ops();  sim.injectFault(camsim::OpMatch::remote(8, 11), -101);
//   sim.stop();
//
// Every public method is thread-safe. Nothing blocks on a peer's mailbox: replies are sent with a
// bounded wait, events from a sender thread that retries with a time-out.
#ifndef CAMSIM_CAMERA_SIM_H
#define CAMSIM_CAMERA_SIM_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "camsim/op_match.h"

namespace camsim {

constexpr int kStatusSize = 384;
constexpr int kSettingsSize = 238;
constexpr int kPresetRecordSize = 80;

struct Options {
    int model = 55;                     // 50, 51 or 55
    std::string cameraMbox = "/to_ztnet";
    std::string daemonMbox = "/to_ztCtlD";
    std::string controlPath;            // Unix socket of the control channel; empty: none
    int verbosity = 1;                  // 0 silent, 1 errors, 2 state changes, 3 every request
    double timeScale = 1.0;             // simulated seconds per real second (tests speed it up)
    int transcodeSeconds = 4;           // simulated duration of a transcode job
    int replyTimeoutMs = 500;           // bound on one reply send; the reply is dropped after it
    int eventTimeoutMs = 3000;          // how long an event to the daemon is retried
    size_t opsCapacity = 256;           // operations kept in the log
};

enum class OpOutcome : uint8_t { Replied, Delayed, Dropped, Malformed, Unanswerable };

struct OpRecord {
    uint64_t index = 0;       // running number, from 1
    double atSeconds = 0;     // real seconds since start
    int category = 0;         // TLV header category of the message
    OpId id;                  // link code and, per code, remote pair, satchel code, direct op
    uint32_t sequence = 0;    // camlink sequence number
    std::vector<uint8_t> payload;  // RA: after category/op; SA: after the code; DC: after the op;
                                   // others: the whole argument after the sequence number
    std::string replyTo;
    int32_t result = 0;
    int8_t nak = 0;
    uint16_t answerLen = 0;
    OpOutcome outcome = OpOutcome::Replied;
    std::string name() const;  // "remote 8/11", "satchel AP", "direct 1 shutter", "MN", ...
};

struct PresetInfo {
    uint32_t id = 0;
    int group = 0;
    int8_t flatMode = 0;
    bool userDefined = false;
    uint32_t icon = 0;
    uint32_t title = 0;
    uint32_t titleNumber = 0;
    bool edited = false;
    uint8_t record[kPresetRecordSize] = {};
};

struct TranscodeJobInfo {
    uint64_t id = 0;
    std::string source;
    std::string output;
    int status = 0;    // 0 started, 1 running, 2 done, 3 cancelled, 4 failed
    int progress = 0;  // percent
    uint32_t estimate = 0;
};

// A copy of the simulated camera, taken under the state lock.
struct SimState {
    int model = 0;
    bool powerOn = true;
    bool asleep = false;
    bool subscribed = false;
    bool modelUnreadable = false;
    uint8_t status[kStatusSize] = {};
    uint8_t settings[kSettingsSize] = {};
    int lensMode = 0;
    int lens = 0;
    int orientation = 0;
    bool editOpen = false;
    uint32_t editPreset = 0;
    std::vector<PresetInfo> presets;  // group by group, in list order
    std::vector<TranscodeJobInfo> jobs;
    bool hasCsiItem7 = false;
    uint32_t csiItem7 = 0;
    int apState = 0;
    std::string apSsid;
    std::string wifiNetwork;
    std::vector<std::string> savedNetworks;
    uint64_t opsReceived = 0;
    // Camera controls kept outside the blocks (video, photo, multishot where there are three).
    int isoLimit[3] = {};
    int isoMin[3] = {};
    int onscreen[4] = {};
    int rushlapse[3] = {};  // 1x speed, speed ramp, speed ramp active
    int audioOption = 0;
    int micOption = 0;
    int lastButton = -1;  // library button of the last press, -1 before any
    int lastButtonState = 0;
    int resolutionResets = 0;
    int highlights = 0;  // tags set while recording (glint, voice, button) or in stored files
    std::vector<uint8_t> settingsPayload;  // last settings payload (7/27)

    uint32_t statusWord(int offset) const;   // little-endian u32 of the status block
    int flatMode() const { return int8_t(settings[25]); }
    uint32_t modeGroup() const { return statusWord(19); }
    uint32_t activePreset() const;           // current preset of the mode group
    bool recording() const { return status[6] != 0; }
    uint32_t recordingSeconds() const { return statusWord(37); }
    int zoom() const { return int8_t(status[5]); }
    uint32_t mediaCount() const { return statusWord(52); }
    const PresetInfo* preset(uint32_t id) const;
    std::vector<uint32_t> groupIds(int group) const;
};

class CameraSim {
public:
    explicit CameraSim(const Options& options = Options());
    ~CameraSim();
    CameraSim(const CameraSim&) = delete;
    CameraSim& operator=(const CameraSim&) = delete;

    // Creates the camera mailbox and the control socket and starts the threads. 0, or -1 with the
    // reason in lastError() (another simulator serves the mailbox, socket in use, ...).
    int start();
    // Stops the threads, removes the camera mailbox and the control socket. Safe to repeat.
    void stop();
    bool running() const;
    const Options& options() const;
    std::string lastError() const;

    // State.
    SimState state() const;
    std::string stateJson() const;  // the control channel's `state` document
    // Writes width (1, 2, 4) little-endian bytes into the status or settings block, with the
    // same consequences as a camera-side change. 0 or -3 when out of range.
    int setStatus(int offset, uint32_t value, int width = 1);
    int setSettings(int offset, uint32_t value, int width = 1);
    void setLens(int lensMode, int lens);

    // Faults. Each stays until cleared; clearFaults() clears all of them except power.
    void setPower(bool on);
    void setModelUnreadable(bool on);
    int injectFault(const OpMatch& op, int32_t err);  // matching operations fail with err (< 0)
    void setNakReason(int8_t reason, bool everyFailure);  // next (or every) failing reply
    void setNoReply(const OpMatch& op);                   // drop matching requests
    void clearNoReply();
    void setDelay(const OpMatch& op, int ms);             // answer matching requests ms later; 0 clears
    void setAnswerCut(const OpMatch& op, int bytes);      // successful answers keep at most bytes; < 0 clears
    void clearFaults();

    // Events to the daemon mailbox (queued; sent by the sender thread). 0, or -1 when the queue
    // is full or the simulator is not running.
    int sendSuspend();
    int sendResume();
    int sendPresetUpdate(uint8_t event, uint32_t presetId);
    int sendTranscodeProgress(const std::string& text);

    // Operations received, oldest first; max 0 means all that are kept.
    std::vector<OpRecord> ops(size_t max = 0) const;
    uint64_t opsReceived() const;
    void clearOps();
    // Waits until at least count operations were received in all; false on time-out.
    bool waitForOps(uint64_t count, int timeoutMs) const;

    // Runs one control-channel command line and returns its reply text (what the socket sends).
    std::string control(const std::string& line);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace camsim

#endif
