// What the camera does with each flat mode: which preset group family it belongs to and what the
// shutter does in it.
#ifndef CAMSIM_FLAT_MODES_H
#define CAMSIM_FLAT_MODES_H

namespace camsim {

enum class Capture { None, Video, Lapse, Photo };

// 0 video, 1 photo, 2 time-lapse, or -1 for a mode outside the preset families (playback...).
inline int flatModeFamily(int m) {
    switch (m) {
    case 12: case 14: case 15: case 22: case 23: case 27: return 0;
    case 16: case 17: case 18: case 19: case 25: return 1;
    case 13: case 20: case 21: case 24: case 26: return 2;
    default: return -1;
    }
}

inline Capture flatModeCapture(int m) {
    switch (m) {
    case 12: case 13: case 14: case 15: case 22: case 23: case 24: case 26: case 27: return Capture::Video;
    case 20: case 21: return Capture::Lapse;
    case 16: case 17: case 18: case 19: case 25: return Capture::Photo;
    default: return Capture::None;
    }
}

// The flat mode a family falls back to when asked for by family (mode 0, 1, 2).
inline int familyDefaultFlatMode(int family) { return family == 0 ? 12 : family == 1 ? 17 : 20; }

}  // namespace camsim

#endif
