// One simulated camera: the status and settings blocks and everything behind them (capture,
// modes and presets, radios, storage, firmware update, transcoding). Not thread-safe: the
// simulator calls it under its state lock. Handlers fill an Answer; a result below 0 is what the
// camera refuses with.
#ifndef CAMSIM_CAMERA_MODEL_H
#define CAMSIM_CAMERA_MODEL_H

#include <stdint.h>

#include <string>
#include <vector>

#include "answer.h"
#include "camsim/camera_sim.h"
#include "event_sink.h"
#include "presets.h"
#include "sim_log.h"
#include "transcode.h"

namespace camsim {

class CameraModel {
public:
    CameraModel(int model, int transcodeSeconds, EventSink& events, const SimLog& log);

    // Moves simulated time on (seconds since start): recording timer, battery, temperature,
    // scan and pairing, transcode progress.
    void advance(double now);

    // Operations. The simulator has already applied power and faults.
    void remote(uint8_t category, uint8_t op, const uint8_t* p, int n, Answer& a);
    void satchel(const char* code, const uint8_t* p, int n, Answer& a);
    void direct(uint16_t op, const uint8_t* p, int n, Answer& a);
    void setValue(const uint8_t* p, int n, Answer& a);
    void csiSet(const uint8_t* p, int n, Answer& a);
    void selectAdapter(const uint8_t* p, int n, Answer& a);

    int model() const { return model_; }
    bool powerOn() const { return power_; }
    void setPower(bool on);
    bool subscribed() const { return subscribed_; }
    void setSubscribed(bool on) { subscribed_ = on; }

    // Block writes from outside the camera (SV, the control channel): width 1, 2 or 4
    // little-endian. 0 or -3. Consequences follow as for the camera's own changes.
    int writeStatus(int offset, uint32_t value, int width);
    int writeSettings(int offset, uint32_t value, int width);
    void setLens(int lensMode, int lens);
    int lens() const { return lens_; }
    // The camera switched presets itself (a preset-switch event): 0 or -3.
    int switchPresetFromCamera(uint32_t id) { return loadPreset(id); }

    void fill(SimState& s) const;

private:
    // Capture and modes (camera_model.cpp).
    void applyMode(int mode);
    int shutter(bool on);
    void startRecording();
    void stopRecording();
    void takePhoto(uint32_t files);
    void addMedia(int32_t delta);
    void afterSettingsWrite(int offset, int width);
    void afterStatusWrite(int offset, int width);
    uint32_t st32(int off) const { return getLe32(status_ + off); }
    void setSt32(int off, uint32_t v) { putLe32(status_ + off, v); }
    int dualLensOffset() const { return lensMode() == 1 ? 3 : 0; }
    int lensMode() const { return int8_t(status_[215]); }
    void pressButton(int button, int state);

    // Presets (model_presets.cpp).
    void presetOp(uint8_t op, const uint8_t* p, int n, Answer& a);
    void reportPresetSwitch(uint32_t id);
    int loadPreset(uint32_t id);
    void editStart(uint32_t id);
    void editStore();
    void editCancel();
    uint32_t activePresetId() const;
    void presetCreate(const uint8_t* p, int n, Answer& a);

    // Remote groups (model_remote.cpp).
    void systemOp(uint8_t op, const uint8_t* p, int n, Answer& a);
    void mediaOp(uint8_t op, Answer& a);
    void transcodeOp(uint8_t op, const uint8_t* p, int n, Answer& a);
    void voiceOp(uint8_t op, const uint8_t* p, int n, Answer& a);

    // Satchel helpers (model_satchel.cpp).
    void accessPoint(const uint8_t* p, int n, Answer& a);
    void scanPage(const uint8_t* p, int n, Answer& a);
    void connectNetwork(const char* code, const uint8_t* p, int n, Answer& a);

    EventSink& events_;
    const SimLog& log_;
    int model_;
    double now_ = 0;
    bool power_ = true;
    bool asleep_ = false;
    bool subscribed_ = false;
    uint8_t status_[kStatusSize];
    uint8_t settings_[kSettingsSize];
    int lens_ = 0;
    int orientation_ = 0;

    // Capture.
    double recordStart_ = 0;
    double lastDrain_ = 0;
    double lastHeat_ = 0;
    int highlights_ = 0;
    bool recordEncodes_ = false;

    // Presets and the open edit.
    PresetStore presets_;
    bool editOpen_ = false;
    uint32_t editPreset_ = 0;
    PresetData editBefore_;

    // Settings kept outside the blocks.
    int iso_[3] = {3, 3, 3};
    int isoMin_[3] = {0, 0, 0};
    int onscreen_[4] = {0, 0, 0, 0};
    int rushlapse_[3] = {0, 0, 0};
    int audioOption_ = 0;
    int micOption_ = 0;
    int lastButton_ = -1;
    int lastButtonState_ = 0;
    int resolutionResets_ = 0;
    std::vector<uint8_t> lastSettingsPayload_;

    // Radios.
    std::string apSsid_ = "ZTCAM-0055";
    std::string apPassword_ = "ztcam1234";
    std::string wifiNetwork_;
    std::vector<std::string> savedNetworks_;
    uint8_t scanId_ = 0;
    bool scanned_ = false;
    double scanEnds_ = 0;
    double pairingEnds_ = 0;
    bool remotePaired_ = false;

    // Services.
    unsigned analyticsNumber_ = 1;
    bool hasCsiItem7_ = false;
    uint32_t csiItem7_ = 0;
    int adapterModel_ = 0;
    TranscodeEngine transcode_;
};

}  // namespace camsim

#endif
