// ISO setting values and their ISO speeds (listed in docs/camera-link.md). The setting values
// are the camera's enumeration, not ordered by speed, so limits and minimums are compared
// through the speed.
#include "ztLog.h"
#include "ztc_control.h"
#include "ztErrno.h"

namespace {

struct IsoEntry {
    int value;  // setting value
    int speed;  // ISO speed, the comparable rank
};

constexpr IsoEntry kVideoIso[] = {{0, 6400}, {1, 1600}, {2, 400}, {3, 3200}, {4, 800}, {7, 200}, {8, 100}};
constexpr IsoEntry kPhotoIso[] = {{0, 800}, {1, 400}, {2, 200}, {3, 100}, {4, 1600}, {5, 3200}, {6, 6400}};

template <size_t N>
int isoSpeed(const IsoEntry (&table)[N], int value, const char* kind)
{
    for (const IsoEntry& e : table)
        if (e.value == value)
            return e.speed;
    ZTLOG(UTIL_LOG_ERROR, "%s ISO setting value %d is unknown", kind, value);
    return ZT_ERR;
}

}  // namespace

extern "C" {

int ztc_video_ultrex_iso_number(int value) { return isoSpeed(kVideoIso, value, "video"); }
int ztc_photo_ultrex_iso_number(int value) { return isoSpeed(kPhotoIso, value, "photo"); }

}  // extern "C"
