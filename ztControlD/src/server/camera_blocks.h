// Positions in the camera's status block (remote 8/11) and settings block (remote 7/30) that the
// daemon gives a meaning. Words are 32-bit little-endian and need not be aligned.
#ifndef CAMERA_BLOCKS_H
#define CAMERA_BLOCKS_H

// Status block.
constexpr int STATUS_FLAT_MODE = 0;
constexpr int STATUS_SUB_MODE = 1;
constexpr int STATUS_SELECTED_FLAT_MODES = 2;  // signed bytes: last flat mode of video, photo, time-lapse
constexpr int STATUS_ZOOM = 5;
constexpr int STATUS_VIDEO_PRESET = 7;      // current preset of the video group
constexpr int STATUS_PHOTO_PRESET = 11;     // of the photo group
constexpr int STATUS_TIMELAPSE_PRESET = 15; // of the time-lapse group
constexpr int STATUS_MODE_GROUP = 19;       // 0-2, 3-5 their dual-lens twins, 6 special
constexpr int STATUS_SPECIAL_PRESET = 23;
constexpr int STATUS_EDITED_PRESET = 27;
constexpr int STATUS_PRESET_STATE = 33;
constexpr int STATUS_LENS_MODE = 215;
constexpr int STATUS_STREAM_ORIENTATION = 246;
constexpr int STATUS_AUDIO_ACCESSORY = 250;  // 3: the accessory owns the audio options

// Settings block.
constexpr int SETTINGS_FLAT_MODE = 25;
constexpr int SETTINGS_LENS = 42;
constexpr int SETTINGS_LENS_2 = 44;
constexpr int SETTINGS_NIGHTLAPSE_LENS = 158;
constexpr int SETTINGS_NIGHTLAPSE_LENS_2 = 160;

#endif
