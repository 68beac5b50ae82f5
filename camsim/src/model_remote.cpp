// Remote operations (category/operation pairs) other than the presets of category 17.
#include <stdio.h>
#include <string.h>

#include "camera_layout.h"
#include "camera_model.h"

namespace camsim {

using namespace camlayout;

void CameraModel::remote(uint8_t category, uint8_t op, const uint8_t* p, int n, Answer& a) {
    switch (category) {
    case 2:
    case 3:
    case 4: {  // ultrex reset of video (2/26), photo (3/22), multishot (4/26)
        static const uint8_t kResetOp[3] = {26, 22, 26};
        int family = category - 2;
        if (op != kResetOp[family]) return a.fail(-104);
        iso_[family] = 3;
        isoMin_[family] = 0;
        return;
    }
    case 6:  // 6/19 Wi-Fi band, one byte 0 or 1
        if (op != 19) return a.fail(-104);
        if (n < 1 || p[0] > 1) return a.fail(-3);
        status_[ST_WIFI_BAND] = p[0];
        return;
    case 7:
        if (op == 10) {  // current preset group
            a.putByte(uint8_t(st32(ST_MODE_GROUP)));
            return;
        }
        if (op == 30) {
            a.put(settings_, kSettingsSize);
            return;
        }
        if (op == 27) {  // settings payload: (settings offset, value) byte pairs
            if (n < 2 || n % 2) return a.fail(-3);
            for (int i = 0; i < n; i += 2)
                if (p[i] >= kSettingsSize) return a.fail(-3);
            for (int i = 0; i < n; i += 2) writeSettings(p[i], p[i + 1], 1);
            lastSettingsPayload_.assign(p, p + n);
            return;
        }
        return a.fail(-104);
    case 8:
        return systemOp(op, p, n, a);
    case 9:
        return mediaOp(op, a);
    case 10:  // 10/14 stream orientation: 0 when the camera hangs upside down
        if (op != 14) return a.fail(-104);
        a.putByte(status_[ST_STREAM_ORIENTATION] == 1 ? 0 : 1);
        return;
    case 12:
        return transcodeOp(op, p, n, a);
    case 13:  // live view: 13/0 exposure at a point, 13/2 exposure back to automatic
        if (op == 0) {
            if (n < 4 || p[1] > 100 || p[2] > 100 || (p[0] != 0 && p[0] != 1 && p[0] != 3)) return a.fail(-3);
            static const uint8_t kModeOfCode[4] = {1, 2, 0, 3};
            status_[ST_LIVEVIEW_EXPOSURE] = kModeOfCode[p[0]];
        } else if (op == 2) {
            status_[ST_LIVEVIEW_EXPOSURE] = 0;
        }
        return;
    case 15:
        return voiceOp(op, p, n, a);
    case 17: {
        // The camera reports every switch of the active preset, as its own menu does.
        const uint32_t before = activePresetId();
        presetOp(op, p, n, a);
        if (activePresetId() != before) reportPresetSwitch(activePresetId());
        return;
    }
    default:
        return a.fail(-104);
    }
}

void CameraModel::systemOp(uint8_t op, const uint8_t* p, int n, Answer& a) {
    switch (op) {
    case 2:  // 1 shutdown, 0 sleep (the network side hears a suspend)
        if (n < 1 || p[0] > 1) return a.fail(-3);
        asleep_ = p[0] == 0;
        setPower(false);
        if (asleep_) events_.postEvent(16, "JS", nullptr, 0);
        return;
    case 4: {  // factory reset; type 1 and above also forget networks and pairing
        if (n < 1) return a.fail(-3);
        if (status_[ST_BUSY]) stopRecording();
        uint8_t lensMode = status_[ST_LENS_MODE];
        CameraModel fresh(model_, 1, events_, log_);
        memcpy(settings_, fresh.settings_, kSettingsSize);
        presets_ = fresh.presets_;
        editOpen_ = false;
        status_[ST_PRESET_STATE] = 0;
        status_[ST_CAPTURE_DELAY] = 0;
        status_[ST_ZOOM] = 0;
        memcpy(status_ + ST_VIDEO_FLAT_MODE, fresh.status_ + ST_VIDEO_FLAT_MODE, 3);
        status_[ST_LENS_MODE] = lensMode;
        if (p[0] >= 1) {
            savedNetworks_.clear();
            wifiNetwork_.clear();
            remotePaired_ = false;
            apSsid_ = fresh.apSsid_;
            apPassword_ = fresh.apPassword_;
        }
        loadPreset(0);
        log_.write(SIMLOG_INFO, "factory reset (type %u)", p[0]);
        return;
    }
    case 11:
        a.put(status_, kStatusSize);
        return;
    case 13:  // locate beeps
        if (n < 1) return a.fail(-3);
        status_[ST_LOCATE] = p[0] ? 1 : 0;
        return;
    case 20:  // analytics cleared: a new file is started
        ++analyticsNumber_;
        return;
    case 21: {
        char name[64];
        int len = snprintf(name, sizeof name, "analytics/ZT%02d_%04u.ANL", model_, analyticsNumber_ % 10000);
        a.put(name, size_t(len) + 1);
        return;
    }
    case 34: {  // extended status: the status block, then uptime, highlights, pairing, scan, adapter
        a.put(status_, kStatusSize);
        uint8_t ext[16] = {};
        putLe32(ext, uint32_t(now_));
        putLe32(ext + 4, uint32_t(highlights_));
        ext[8] = remotePaired_ ? 1 : 0;
        ext[9] = scanId_;
        ext[10] = uint8_t(adapterModel_);
        ext[11] = uint8_t(lens_);
        a.put(ext, sizeof ext);
        return;
    }
    case 35: {  // calibration file: 3 bytes (0, name length, 0), then the name, Windows-style
        char name[64];
        int len = snprintf(name, sizeof name, "CALIB\\MODEL%02d\\lens%d.cal", model_, lens_);
        uint8_t head[3] = {0, uint8_t(len), 0};
        a.put(head, 3);
        a.put(name, size_t(len) + 1);
        return;
    }
    default:
        return a.fail(-104);
    }
}

void CameraModel::mediaOp(uint8_t op, Answer& a) {
    switch (op) {
    case 9:  // delete the last file
        if (status_[ST_BUSY] || st32(ST_MEDIA_COUNT) == 0) return a.fail(-101);
        return addMedia(-1);
    case 10:  // delete all
        if (status_[ST_BUSY]) return a.fail(-101);
        setSt32(ST_MEDIA_COUNT, 0);
        return;
    case 12:  // highlight tag in the running recording
        ++highlights_;
        return;
    default:
        return a.fail(-104);
    }
}

void CameraModel::transcodeOp(uint8_t op, const uint8_t* p, int n, Answer& a) {
    if (op == 5 || op == 6) {
        if (!status_[ST_SD_PRESENT]) return a.fail(-101, -7);
        uint64_t id = 0;
        uint32_t estimate = 0;
        int8_t nak = 0;
        int r = transcode_.start(p, n, op == 5 ? 29 : 6, now_, &id, &estimate, &nak);
        if (r != 0) return a.fail(r, nak);
        uint8_t out[12];
        putBe64(out, id);
        putBe32(out + 8, estimate);
        a.put(out, sizeof out);
        log_.write(SIMLOG_INFO, "transcode job %llu started", (unsigned long long)id);
        return;
    }
    if (op == 3) {
        if (n < 8) return a.fail(-3);
        return a.fail(transcode_.cancel(getBe64(p), subscribed_, events_));
    }
    a.fail(-104);
}

void CameraModel::voiceOp(uint8_t op, const uint8_t* p, int n, Answer& a) {
    switch (op) {
    case 0:  // photo
    case 5:  // burst (one group file)
        if (status_[ST_BUSY]) return a.fail(-101);
        return takePhoto(1);
    case 1:  // video start: switches to video first
    case 3:  // time-lapse start
        if (status_[ST_BUSY]) return a.fail(-101);
        applyMode(op == 1 ? 0 : 2);
        return a.fail(shutter(true));
    case 2:
    case 4:
        return a.fail(shutter(false));
    case 6:
        ++highlights_;
        return;
    case 9:
        if (n < 1) return a.fail(-3);
        status_[ST_VOICE_MODE] = p[0];
        return;
    case 10:  // edit my story: nothing to show here
        return;
    default:
        return a.fail(-104);
    }
}

}  // namespace camsim
