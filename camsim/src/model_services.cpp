// The settings service's side of the link: CSI items, setting values written into the blocks,
// and the protocol adapter choice.
#include "camera_model.h"

namespace camsim {

// Item u32 big-endian, then the item's bytes. Item 7 is the preset-state word (4 bytes in the
// camera's byte order, little-endian).
void CameraModel::csiSet(const uint8_t* p, int n, Answer& a) {
    if (n < 4) return a.fail(-3);
    uint32_t item = getBe32(p);
    if (item == 7) {
        if (n != 8) return a.fail(-3);
        csiItem7_ = getLe32(p + 4);
        hasCsiItem7_ = true;
        log_.write(SIMLOG_INFO, "CSI item 7 = 0x%08x", csiItem7_);
    }
}

// Setting id i32, block u32 (0 settings, 1 status), offset u32, value i32, width u32.
void CameraModel::setValue(const uint8_t* p, int n, Answer& a) {
    if (n < 20) return a.fail(-3);
    uint32_t block = getBe32(p + 4);
    uint32_t offset = getBe32(p + 8);
    uint32_t value = getBe32(p + 12);
    uint32_t width = getBe32(p + 16);
    if (block > 1 || offset > 0xFFFF || width > 4) return a.fail(-3);
    int r = block == 0 ? writeSettings(int(offset), value, int(width)) : writeStatus(int(offset), value, int(width));
    a.fail(r);
}

void CameraModel::selectAdapter(const uint8_t* p, int n, Answer& a) {
    if (n < 1) return a.fail(-3);
    adapterModel_ = p[0];
}

}  // namespace camsim
