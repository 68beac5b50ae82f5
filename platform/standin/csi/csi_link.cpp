// The settings library's writes travel over the control library's camera link.
//
// csi_set has no context argument: it uses the context the control library last exchanged on
// (camlink_attached_context). The daemon reads the model number before its first csi_set, so
// the context is known by then.
#include "camlink_client.h"
#include "csi_settings.h"
#include "csi_tables.h"
#include "ztErrno.h"
#include "ztLog.h"

namespace {

size_t blockSize(uint32_t block)
{
    switch (block) {
    case 0: return CSI_SETTINGS_BLOCK_SIZE;
    case 1: return CSI_STATUS_BLOCK_SIZE;
    default: return 0;
    }
}

bool fitsWidth(int value, uint32_t width)
{
    switch (width) {
    case 1: return value >= -128 && value <= 0xFF;
    case 2: return value >= -32768 && value <= 0xFFFF;
    default: return true;
    }
}

}  // namespace

int csi_set(int item, const void* data, int len)
{
    ztc_msg_q_context_t* ctx = camlink_attached_context();
    if (ctx == nullptr) {
        ZTLOG(UTIL_LOG_ERROR, "csi_set(%d): no camera link used yet", item);
        return ZT_ERR;
    }
    if (len < 0 || (len > 0 && data == nullptr)) {
        ZTLOG(UTIL_LOG_ERROR, "csi_set(%d): bad data (length %d)", item, len);
        return ZT_ERR_INVALID_PARAM;
    }
    CamlinkArgs args;
    args.u32(static_cast<uint32_t>(item)).bytes(data, static_cast<size_t>(len));
    return camlink_exchange(ctx, {CAMLINK_OP_CSI_SET, &args}, nullptr, 0, nullptr);
}

int camera_if_settings_set_value_int(ztc_msg_q_context_t* ctx, int settingId, uint32_t block, uint32_t offset,
                                     int value, uint32_t width, const uint8_t* currentBlocks)
{
    const size_t size = blockSize(block);
    if (size == 0 || (width != 1 && width != 2 && width != 4) || offset > size || width > size - offset ||
        !fitsWidth(value, width)) {
        ZTLOG(UTIL_LOG_ERROR, "setting %d: value %d does not fit block %u offset %u width %u", settingId, value,
              block, offset, width);
        return ZT_ERR_INVALID_PARAM;
    }
    if (currentBlocks != nullptr && g_logLevel >= UTIL_LOG_DEBUG) {
        const uint8_t* current = currentBlocks + (block == 1 ? 0 : CSI_STATUS_BLOCK_SIZE);
        ZTLOG(UTIL_LOG_DEBUG, "setting %d: %lld -> %d", settingId,
              static_cast<long long>(csi::readItem(current, size, offset, width, false)), value);
    }
    CamlinkArgs args;
    args.i32(settingId).u32(block).u32(offset).i32(value).u32(width);
    return camlink_exchange(ctx, {CAMLINK_OP_SET_VALUE, &args}, nullptr, 0, nullptr);
}
