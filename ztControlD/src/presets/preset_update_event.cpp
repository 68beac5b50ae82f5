// Preset updates made on the camera: they change the preset state word kept in CSI item 7 and the
// cached active preset.
#include <stdio.h>
#include <string.h>

#include "csi_settings.h"
#include "server/event_routing.h"
#include "server/ztcontrol_if_server.h"
#include "ztLog.h"
#include "ztTlv.h"

namespace {

constexpr size_t kLogValueText = 64;
constexpr size_t kPresetUpdateArg = 5;  // event byte, then the 32-bit preset id
constexpr uint8_t kEventPresetSwitched = 6;
constexpr uint32_t kRefreshState = 0x06000000;

uint8_t groupOf(uint32_t presetId) { return (uint8_t)(presetId >> 16); }

bool isSingleLensGroup(uint8_t group) { return group <= 2; }
bool isDualLensGroup(uint8_t group) { return group >= 3 && group <= 5; }

void writePresetState(uint32_t state) { csi_set(CSI_ITEM_PRESET_STATE, &state, sizeof(state)); }

void presetModified(ZtcontrolCommandServer* server, uint8_t event, uint32_t id) {
    if (event == 3 || event == 4 || event == 5) {
        if (id == 3 || id == 4 || id == 5) id -= 3;
        id += 1000;
    }
    const uint32_t state = ((uint32_t)event << 24) | (id & 0xFFFFFF);
    printf("presets are now in modified state %d\n", (int)state);
    writePresetState(state);
    server->readLensData();
    printf("edit: lens: %d lens mode: %d, preset: %d, needlenses:%d\n", server->lens, server->lensMode,
           server->activePreset, server->needLenses);
    if (event == 3) server->presetRefreshPending = true;
}

void presetSwitched(ZtcontrolCommandServer* server, uint32_t id) {
    puts("Preset switched");
    const uint8_t newGroup = groupOf(id);
    const uint8_t oldGroup = groupOf((uint32_t)server->activePreset);
    // Crossing between single- and dual-lens groups changes the whole preset list.
    if ((isSingleLensGroup(oldGroup) && isDualLensGroup(newGroup)) ||
        (isSingleLensGroup(newGroup) && isDualLensGroup(oldGroup)) || server->presetRefreshPending) {
        const uint32_t state = id | kRefreshState;
        printf("presets now need to be refreshed %d\n", (int)state);
        writePresetState(state);
    }
    server->readLensData();
    if (newGroup != 6 && newGroup != 7) {
        server->activePreset = (int32_t)id;
        server->presetRefreshPending = false;
    }
    printf("switch: lens mode: %d, preset: %d, needlenses:%d\n", server->lensMode, server->activePreset,
           server->needLenses);
}

}  // namespace

void handlePresetUpdateEvent(ZtcontrolCommandServer* server, const ReceivedTlv& msg) {
    puts("Processing CAT_RTOS_CMD for preset update");
    ZTLOG(UTIL_LOG_INFO, "Processing CAT_RTOS_CMD for preset update");
    TlvValue cmd = findReceivedElement(msg, TLV_CMD);
    if (!valueStartsWith(cmd, "PU")) {
        char text[kLogValueText];
        ZTLOG(UTIL_LOG_ERROR, "Unexpected type on preset update [%s]", valueAsText(cmd, text, sizeof(text)));
        return;
    }
    TlvValue arg = findReceivedElement(msg, TLV_CMDARG);
    if (!arg.data || arg.length < kPresetUpdateArg) {
        ZTLOG(UTIL_LOG_ERROR, "Failed to find TLV_CMDARG in message from ztNet");
        return;
    }
    const uint8_t event = arg.data[0];
    uint32_t id;
    memcpy(&id, arg.data + 1, sizeof(id));
    printf("event: %u, id: %u\n", event, id);
    switch (event) {
        case 1: case 3: case 4: case 5: case 7: case 8:
            presetModified(server, event, id);
            break;
        case kEventPresetSwitched:
            presetSwitched(server, id);
            break;
        default:
            break;
    }
}
