// Settings library (libcsi) as the daemon uses it: the camera record, the settings-id table,
// setting a value, the preset-state item, and the JSON writers of status and settings.
#ifndef CSI_SETTINGS_H
#define CSI_SETTINGS_H

#include <stddef.h>
#include <stdint.h>

#include <sstream>
#include <string>
#include <vector>

#include "ztc_control.h"

#define CSI_STATUS_BLOCK_SIZE 384
#define CSI_SETTINGS_BLOCK_SIZE 238
#define CSI_DEFAULT_MODEL 55
#define CSI_ITEM_PRESET_STATE 7  // 32-bit preset-state word written by the daemon

#pragma pack(push, 1)
typedef struct appc_system_all_status {
    uint8_t bytes[CSI_STATUS_BLOCK_SIZE];  // answer of remote operation 8/11, unchanged
} appc_system_all_status;

typedef struct appc_setup_all_settings {
    uint8_t bytes[CSI_SETTINGS_BLOCK_SIZE];  // answer of remote operation 7/30, unchanged
} appc_setup_all_settings;

typedef struct ztcontrol_system_settings {
    int8_t lensMode;
    int8_t lens;
} ztcontrol_system_settings;

typedef struct all_status_settings_t {
    appc_system_all_status status;
    appc_setup_all_settings settings;
    ztcontrol_system_settings system;
} all_status_settings_t;
#pragma pack(pop)

static_assert(sizeof(all_status_settings_t) == 624, "camera record is 624 bytes");

// Words of one settings-id table row.
enum CsiSettingRowWord {
    CSI_ROW_SETTING_ID = 0,  // the setting id (the row's own index)
    CSI_ROW_JSON_ID = 1,     // numeric item id used as the JSON key
    CSI_ROW_BLOCK = 2,       // 0 = settings block, 1 = status block
    CSI_ROW_OFFSET = 3,      // byte offset inside that block
    CSI_ROW_WIDTH = 4,       // value width in bytes: 1, 2 or 4 (little-endian)
    CSI_ROW_MIN = 5,
    CSI_ROW_MAX = 6,
    CSI_ROW_WORDS = 7
};

typedef uint32_t csi_setting_row_t[CSI_ROW_WORDS];

// Writes a CSI item (the daemon writes item 7, 4 bytes). Result ignored by the daemon.
int csi_set(int item, const void* data, int len);

// The model's settings-id table (count rows, indexed by setting id), or null for an unknown model.
const csi_setting_row_t* camera_settings_id_table(uint8_t model, int* count);

// Sets one setting: words 2, 3 and 4 of its table row, the value, and the current blocks (status
// block followed by settings block, as the caller read them).
int camera_if_settings_set_value_int(ztc_msg_q_context_t* ctx, int settingId, uint32_t block, uint32_t offset,
                                     int value, uint32_t width, const uint8_t* currentBlocks);

// Fills the list that the status-change writer later receives.
void camera_status_init_bossCache(uint8_t model, std::vector<std::string>& bossCache);

// Append "id":value members for the items that differ; return how many (0 or less: none).
int camera_status_serialize_status_changes_to_json(std::stringstream& out, int group,
                                                   const all_status_settings_t* current,
                                                   const all_status_settings_t* previous, uint8_t model,
                                                   const std::vector<std::string>& bossCache);
int camera_status_serialize_settings_changes_to_json(std::stringstream& out, const all_status_settings_t* current,
                                                     const all_status_settings_t* previous, uint8_t model);

// Append the full status ("status":{...}) and full settings ("settings":{...}) members.
void camera_status_serialize_status_to_json(std::stringstream& out, const all_status_settings_t* record,
                                            uint8_t model);
void camera_settings_serialize_to_json(std::stringstream& out, const appc_setup_all_settings* settings,
                                       const appc_system_all_status* status,
                                       const ztcontrol_system_settings* system, uint8_t model);

// Non-zero when key occurs in text; the characters after it (up to '&', ';', a blank or the end)
// go to value.
int parseParam(const char* text, const char* key, std::string& value);

uint64_t htonll(uint64_t value);
uint64_t ntohll(uint64_t value);

#endif
