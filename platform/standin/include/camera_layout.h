// Byte positions of the camera's status block (remote 8/11, 384 bytes) and settings block
// (remote 7/30, 238 bytes) that the daemon, the settings-library stand-in and the simulator agree
// on. Multi-byte values are little-endian and unaligned.
#ifndef CAMERA_LAYOUT_H
#define CAMERA_LAYOUT_H

namespace camlayout {

// Status block.
constexpr int ST_FLAT_MODE = 0;             // current flat mode (the daemon copies settings byte 25 here)
constexpr int ST_SUB_MODE = 1;              // sub mode; 4 for rush-lapse (flat mode 24)
constexpr int ST_VIDEO_FLAT_MODE = 2;       // flat mode last selected for video (signed)
constexpr int ST_PHOTO_FLAT_MODE = 3;       // ... for photo
constexpr int ST_TIMELAPSE_FLAT_MODE = 4;   // ... for time-lapse
constexpr int ST_ZOOM = 5;                  // digital zoom 0..100 (signed byte)
constexpr int ST_BUSY = 6;                  // 1 while recording / capturing
constexpr int ST_VIDEO_PRESET = 7;          // u32 current preset of group 0/3
constexpr int ST_PHOTO_PRESET = 11;         // u32 current preset of group 1/4
constexpr int ST_TIMELAPSE_PRESET = 15;     // u32 current preset of group 2/5
constexpr int ST_MODE_GROUP = 19;           // u32 current mode group 0..6
constexpr int ST_SPECIAL_PRESET = 23;       // u32 preset of mode group 6
constexpr int ST_EDITED_PRESET = 27;        // u32 preset id the preset state byte refers to
constexpr int ST_ENCODING = 31;             // 1 while recording video
constexpr int ST_PRESET_STATE = 33;         // preset state byte (0..3)
constexpr int ST_RECORDING_SECONDS = 37;    // u32 seconds of the current recording
constexpr int ST_BATTERY_PERCENT = 41;
constexpr int ST_BATTERY_BARS = 42;
constexpr int ST_SD_PRESENT = 43;
constexpr int ST_REMAINING_PHOTOS = 44;     // u32
constexpr int ST_REMAINING_VIDEO_S = 48;    // u32
constexpr int ST_MEDIA_COUNT = 52;          // u32 files on the card
constexpr int ST_AP_STATE = 56;             // access point 0 off, 1 on
constexpr int ST_BLE_STATE = 57;
constexpr int ST_PAIRING = 58;              // remote-control pairing in progress
constexpr int ST_SCAN_STATE = 59;           // 1 while a Wi-Fi scan runs
constexpr int ST_LOCATE = 60;               // locate beeps on
constexpr int ST_VOICE_MODE = 61;
constexpr int ST_CAPTURE_DELAY = 62;        // photo timer seconds
constexpr int ST_FW_UPDATE = 63;            // 0 idle, 1 downloading, 2 done, 3 cancelled
constexpr int ST_WIFI_BAND = 64;
constexpr int ST_CONNECTED_CLIENTS = 65;
constexpr int ST_LIVEVIEW_EXPOSURE = 66;    // exposure mode of live view
constexpr int ST_TEMPERATURE_C = 67;
constexpr int ST_LENS_MODE = 215;           // written by the daemon's fix-up
constexpr int ST_STREAM_ORIENTATION = 246;  // stream orientation code
constexpr int ST_AUDIO_ACCESSORY = 250;     // 3 blocks the audio options

// Settings block.
constexpr int SE_FLAT_MODE = 25;            // current flat mode
constexpr int SE_LENS_SETTING = 42;         // field of view / lens setting (tested by the zoom scaling)
constexpr int SE_LENS_SETTING_2 = 44;
constexpr int SE_NIGHTLAPSE_LENS = 158;     // copied into 42 in flat mode 26
constexpr int SE_NIGHTLAPSE_LENS_2 = 160;   // copied into 44 in flat mode 26

}  // namespace camlayout

#endif
