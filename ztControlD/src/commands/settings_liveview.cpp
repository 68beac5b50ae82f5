// Live-view exposure: automatic (13/2), or exposure at a select position (13/0), translated when
// the stream is upside down and with the lens on dual-lens models.
#include "commands/command_family.h"
#include "commands/settings_status.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

constexpr uint8_t kLiveviewCategory = 13;
constexpr uint32_t kMaxCoordinate = 100;
constexpr uint8_t kDualLensModel = 51;
constexpr uint8_t kNoLens = 255;

enum ExposureMode : uint32_t { kAuto = 0, kSpot = 1, kCenter = 2, kLens = 3 };

// True when the camera reports its stream upside down (orientation answer 0).
bool streamInverted() {
    const uint8_t* answer;
    uint16_t length;
    int32_t e = remoteQuery(10, 14, &answer, &length);
    if (e != ZT_OK || length != 1) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to get stream orientation vis REMOTE_API");
        return false;
    }
    return answer[0] == 0;
}

}  // namespace

int32_t liveviewModeSet(CommandContext& c) {
    const uint8_t* arg = argumentBytes(c);
    const uint32_t mode = readLe32(arg);
    uint32_t x = readLe32(arg + 4);
    uint32_t y = readLe32(arg + 8);
    const uint32_t extra = readLe32(arg + 12);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_LIVEVIEW_MODE_SET: %d", (int)mode);
    if (mode == kAuto) return ztc_send_simple_remote_api(&g_ztcContext, kLiveviewCategory, 2);
    if (x > kMaxCoordinate || y > kMaxCoordinate) {
        ZTLOG(UTIL_LOG_ERROR, "Invalid coords x:%d y:%d", (int)x, (int)y);
        return ZT_ERR;
    }
    if (streamInverted()) {
        ZTLOG(UTIL_LOG_DEBUG, "Translating select pos because stream is inverted (%d -> %d, %d -> %d", (int)x,
              (int)(kMaxCoordinate - x), (int)y, (int)(kMaxCoordinate - y));
        x = kMaxCoordinate - x;
        y = kMaxCoordinate - y;
    }
    const int lensMode = c.server->getLensMode();
    const uint8_t model = modelNumberOrDefault(c.server);
    uint8_t lens = model == kDualLensModel ? (uint8_t)c.server->getLens() : kNoLens;
    const bool singleLensView = lensMode == 0 || model != kDualLensModel;
    uint8_t code;
    if (mode == kCenter && singleLensView) {
        code = 1;
    } else if (mode == kSpot && singleLensView) {
        code = 0;
    } else if (mode == kLens && model == kDualLensModel && lensMode == 1) {
        code = 3;
        lens = (uint8_t)extra;
    } else {
        ZTLOG(UTIL_LOG_ERROR, "Invalid exposure mode %d in lens_mode[%d]", (int)mode, lensMode);
        return ZT_ERR_INVALID_PARAM;
    }
    const uint8_t payload[4] = {code, (uint8_t)x, (uint8_t)y, lens};
    return ztc_send_remote_api_payload(&g_ztcContext, kLiveviewCategory, 0, payload, sizeof(payload));
}
