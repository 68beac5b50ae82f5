#include "camera_model.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "camera_layout.h"
#include "flat_modes.h"

namespace camsim {

using namespace camlayout;

namespace {

void defaultSettings(uint8_t* s) {
    memset(s, 0, kSettingsSize);
    s[2] = 1;   // resolution
    s[3] = 5;   // frame rate
    s[9] = 1;   // time-lapse interval
    s[24] = 1;  // rush-lapse speed
    s[SE_FLAT_MODE] = 12;
    s[28] = 1;
    s[SE_LENS_SETTING] = 1;
    s[SE_NIGHTLAPSE_LENS] = 4;
    s[SE_NIGHTLAPSE_LENS_2] = 1;
}

int batteryBars(int percent) { return percent > 66 ? 3 : percent > 33 ? 2 : percent > 10 ? 1 : 0; }

}  // namespace

CameraModel::CameraModel(int model, int transcodeSeconds, EventSink& events, const SimLog& log)
    : events_(events), log_(log), model_(model), transcode_(transcodeSeconds) {
    memset(status_, 0, sizeof status_);
    defaultSettings(settings_);
    presets_.reset(settings_);
    char ssid[16];
    snprintf(ssid, sizeof ssid, "ZTCAM-%04d", model);
    apSsid_ = ssid;
    status_[ST_VIDEO_FLAT_MODE] = 12;
    status_[ST_PHOTO_FLAT_MODE] = 17;
    status_[ST_TIMELAPSE_FLAT_MODE] = 24;
    setSt32(ST_VIDEO_PRESET, 0);
    setSt32(ST_PHOTO_PRESET, 0x10000);
    setSt32(ST_TIMELAPSE_PRESET, 0x20000);
    status_[ST_BATTERY_PERCENT] = 100;
    status_[ST_BATTERY_BARS] = 3;
    status_[ST_SD_PRESENT] = 1;
    setSt32(ST_REMAINING_PHOTOS, 5000);
    setSt32(ST_REMAINING_VIDEO_S, 7200);
    setSt32(ST_MEDIA_COUNT, 12);
    status_[ST_BLE_STATE] = 1;
    status_[ST_TEMPERATURE_C] = 35;
    lens_ = 0;
    loadPreset(0);
}

void CameraModel::advance(double now) {
    if (now < now_) return;
    double previous = now_;
    now_ = now;
    if (status_[ST_BUSY]) {
        double seconds = floor(now - recordStart_);
        uint32_t before = st32(ST_RECORDING_SECONDS);
        setSt32(ST_RECORDING_SECONDS, uint32_t(seconds));
        if (status_[ST_ENCODING]) {
            uint32_t left = st32(ST_REMAINING_VIDEO_S);
            uint32_t used = uint32_t(seconds) - before;
            setSt32(ST_REMAINING_VIDEO_S, left > used ? left - used : 0);
        }
    }
    if (power_) {
        // Battery: 1 % every 2 minutes idle, every 30 s while recording, never below 5 %.
        double drain = status_[ST_BUSY] ? 30.0 : 120.0;
        while (now - lastDrain_ >= drain) {
            lastDrain_ += drain;
            if (status_[ST_BATTERY_PERCENT] > 5) --status_[ST_BATTERY_PERCENT];
        }
        status_[ST_BATTERY_BARS] = uint8_t(batteryBars(status_[ST_BATTERY_PERCENT]));
        // Recording warms the camera a degree every 30 s up to 70 C; idle cools it to 35 C.
        while (now - lastHeat_ >= 30.0) {
            lastHeat_ += 30.0;
            uint8_t& t = status_[ST_TEMPERATURE_C];
            if (status_[ST_ENCODING] && t < 70) ++t;
            else if (!status_[ST_ENCODING] && t > 35) --t;
        }
    } else {
        lastDrain_ = lastHeat_ = now;
    }
    if (status_[ST_SCAN_STATE] && now >= scanEnds_) status_[ST_SCAN_STATE] = 0;
    if (status_[ST_PAIRING] && now >= pairingEnds_) {
        status_[ST_PAIRING] = 0;
        remotePaired_ = true;
        log_.write(SIMLOG_INFO, "remote control paired");
    }
    if (previous != now) transcode_.advance(now, subscribed_, events_);
}

void CameraModel::setPower(bool on) {
    if (on == power_) return;
    power_ = on;
    if (!on) {
        if (status_[ST_BUSY]) stopRecording();
        status_[ST_SCAN_STATE] = 0;
        status_[ST_PAIRING] = 0;
        status_[ST_LOCATE] = 0;
        log_.write(SIMLOG_INFO, "camera %s", asleep_ ? "asleep" : "off");
        return;
    }
    log_.write(SIMLOG_INFO, "camera on");
    if (asleep_) {
        asleep_ = false;
        events_.postEvent(16, "JR", nullptr, 0);
    }
}

// A mode is a flat mode, or 0, 1, 2 for the flat mode last selected in the video, photo or
// time-lapse family. A family's flat mode selects the family's group (dual-lens group in lens
// mode 1) and a preset of that group with the flat mode when there is one.
void CameraModel::applyMode(int mode) {
    if (mode >= 0 && mode <= 2) {
        int last = int8_t(status_[ST_VIDEO_FLAT_MODE + mode]);
        mode = flatModeFamily(last) == mode ? last : familyDefaultFlatMode(mode);
    }
    int family = flatModeFamily(mode);
    if (family >= 0) {
        int group = family + dualLensOffset();
        uint32_t current = st32(ST_VIDEO_PRESET + 4 * family);
        const Preset* cur = presets_.find(current);
        uint32_t chosen = 0;
        bool found = false;
        if (cur && presetGroup(current) == group && cur->data.flatMode == mode) {
            chosen = current;
            found = true;
        }
        for (uint32_t id : presets_.group(group)) {
            if (found) break;
            if (presets_.find(id)->data.flatMode == mode) {
                chosen = id;
                found = true;
            }
        }
        if (!found) chosen = (cur && presetGroup(current) == group) ? current : presets_.first(group);
        loadPreset(chosen);
    }
    settings_[SE_FLAT_MODE] = uint8_t(mode);
    afterSettingsWrite(SE_FLAT_MODE, 1);
}

int CameraModel::shutter(bool on) {
    if (!on) {
        if (status_[ST_BUSY]) stopRecording();
        return 0;
    }
    if (status_[ST_BUSY]) return 0;
    int flat = int8_t(settings_[SE_FLAT_MODE]);
    switch (flatModeCapture(flat)) {
    case Capture::Video:
        recordEncodes_ = true;
        startRecording();
        return 0;
    case Capture::Lapse:
        recordEncodes_ = false;
        startRecording();
        return 0;
    case Capture::Photo:
        takePhoto(1);
        return 0;
    case Capture::None:
        break;
    }
    log_.write(SIMLOG_INFO, "shutter refused in flat mode %d", flat);
    return -101;
}

void CameraModel::startRecording() {
    status_[ST_BUSY] = 1;
    status_[ST_ENCODING] = recordEncodes_ ? 1 : 0;
    recordStart_ = now_;
    setSt32(ST_RECORDING_SECONDS, 0);
    log_.write(SIMLOG_INFO, "recording started");
}

void CameraModel::stopRecording() {
    status_[ST_BUSY] = 0;
    status_[ST_ENCODING] = 0;
    setSt32(ST_RECORDING_SECONDS, 0);
    addMedia(1);
    log_.write(SIMLOG_INFO, "recording stopped");
}

void CameraModel::takePhoto(uint32_t files) {
    addMedia(int32_t(files));
    uint32_t left = st32(ST_REMAINING_PHOTOS);
    setSt32(ST_REMAINING_PHOTOS, left > files ? left - files : 0);
}

void CameraModel::addMedia(int32_t delta) {
    int64_t count = int64_t(st32(ST_MEDIA_COUNT)) + delta;
    setSt32(ST_MEDIA_COUNT, count < 0 ? 0 : uint32_t(count));
}

// Library button 0 is the shutter, 1 the mode button, 2 the highlight button; state 3 is a short
// press, 2 a long one.
void CameraModel::pressButton(int button, int state) {
    lastButton_ = button;
    lastButtonState_ = state;
    if (state != 3) return;
    if (button == 0) {
        shutter(!status_[ST_BUSY]);
    } else if (button == 1) {
        int family = int(st32(ST_MODE_GROUP) % 3);
        applyMode((family + 1) % 3);
    } else if (button == 2 && status_[ST_BUSY]) {
        ++highlights_;
    }
}

int CameraModel::writeStatus(int offset, uint32_t value, int width) {
    if ((width != 1 && width != 2 && width != 4) || offset < 0 || offset + width > kStatusSize) return -3;
    putLeN(status_ + offset, value, width);
    afterStatusWrite(offset, width);
    return 0;
}

int CameraModel::writeSettings(int offset, uint32_t value, int width) {
    if ((width != 1 && width != 2 && width != 4) || offset < 0 || offset + width > kSettingsSize) return -3;
    putLeN(settings_ + offset, value, width);
    afterSettingsWrite(offset, width);
    return 0;
}

void CameraModel::afterStatusWrite(int offset, int width) {
    // Busy cleared from outside ends the recording the way the camera would.
    if (offset <= ST_BUSY && ST_BUSY < offset + width && !status_[ST_BUSY]) {
        status_[ST_ENCODING] = 0;
        setSt32(ST_RECORDING_SECONDS, 0);
    }
    if (offset <= ST_BUSY && ST_BUSY < offset + width && status_[ST_BUSY]) recordStart_ = now_;
}

void CameraModel::afterSettingsWrite(int offset, int width) {
    if (offset > SE_FLAT_MODE || SE_FLAT_MODE >= offset + width) return;
    int flat = int8_t(settings_[SE_FLAT_MODE]);
    status_[ST_FLAT_MODE] = uint8_t(flat);
    status_[ST_SUB_MODE] = flat == 24 ? 4 : 0;
    int family = flatModeFamily(flat);
    if (family >= 0) status_[ST_VIDEO_FLAT_MODE + family] = uint8_t(flat);
}

void CameraModel::setLens(int lensMode, int lens) {
    status_[ST_LENS_MODE] = uint8_t(lensMode);
    lens_ = lens;
}

void CameraModel::fill(SimState& s) const {
    s.model = model_;
    s.powerOn = power_;
    s.asleep = asleep_;
    s.subscribed = subscribed_;
    memcpy(s.status, status_, sizeof status_);
    memcpy(s.settings, settings_, sizeof settings_);
    s.lensMode = lensMode();
    s.lens = lens_;
    s.orientation = orientation_;
    s.editOpen = editOpen_;
    s.editPreset = editPreset_;
    s.presets.clear();
    for (int g = 0; g < kPresetGroups; ++g) {
        for (uint32_t id : presets_.group(g)) {
            const Preset* p = presets_.find(id);
            PresetInfo info;
            info.id = id;
            info.group = g;
            info.flatMode = p->data.flatMode;
            info.userDefined = p->userDefined;
            info.icon = p->data.icon;
            info.title = p->data.title;
            info.titleNumber = p->data.titleNumber;
            info.edited = p->edited;
            PresetStore::record(*p, info.record);
            s.presets.push_back(info);
        }
    }
    s.jobs = transcode_.jobs();
    s.hasCsiItem7 = hasCsiItem7_;
    s.csiItem7 = csiItem7_;
    s.apState = status_[ST_AP_STATE];
    s.apSsid = apSsid_;
    s.wifiNetwork = wifiNetwork_;
    s.savedNetworks = savedNetworks_;
    memcpy(s.isoLimit, iso_, sizeof iso_);
    memcpy(s.isoMin, isoMin_, sizeof isoMin_);
    memcpy(s.onscreen, onscreen_, sizeof onscreen_);
    memcpy(s.rushlapse, rushlapse_, sizeof rushlapse_);
    s.audioOption = audioOption_;
    s.micOption = micOption_;
    s.lastButton = lastButton_;
    s.lastButtonState = lastButtonState_;
    s.resolutionResets = resolutionResets_;
    s.highlights = highlights_;
    s.settingsPayload = lastSettingsPayload_;
}

}  // namespace camsim
