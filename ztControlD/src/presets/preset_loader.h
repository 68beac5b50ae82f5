// The preset loader: the daemon's preset logic between the command handlers and the camera's
// preset operations (remote category 17): loading the preset of a mode, the preset-edit bracket,
// record conversion for clients, title numbering and the icon mapping.
#ifndef PRESET_LOADER_H
#define PRESET_LOADER_H

#include <stddef.h>
#include <stdint.h>

namespace wsdk_commands {
class WSDK_Preset;
}

constexpr uint16_t PRESET_RECORD_SIZE = 80;
constexpr uint8_t PRESET_CATEGORY = 17;
constexpr uint32_t PRESET_GROUP_ID_BASE = 1000;  // client-side group id = group index + 1000

// Preset record fields.
constexpr size_t PRESET_RECORD_FLAT_MODE = 0;
constexpr size_t PRESET_RECORD_TYPE = 1;
constexpr size_t PRESET_RECORD_ID = 2;
constexpr size_t PRESET_RECORD_ICON = 8;
constexpr size_t PRESET_RECORD_TITLE = 12;
constexpr size_t PRESET_RECORD_TITLE_NUMBER = 16;
constexpr size_t PRESET_RECORD_SETTINGS = 25;
constexpr size_t PRESET_RECORD_EDITED = 79;

// Loads the preset that belongs to a flat mode (12 to 27) or a client-side group id (1000 to
// 1005): the library's result of the load, -1, or the error that stopped it.
int loadPresetForMode(int mode);

// 1 when an edit was started, or none is needed for the setting (-1: no particular setting).
int beginPresetEdit(int settingId);
// 1 when the edit was stored, or none is needed for the setting; else 0.
int storePresetEdit(int settingId);
// Timer callback (argument: the server): stores the open edit and clears presetEditOpen. Runs on
// the timer thread with the timer's mutex held.
int presetEditTimeout(void* server);

// Fills mode, title, icon, flags and the setting list of a preset whose id the caller has set,
// from an 80-byte record; lens mode and model come from the camera state cache.
void presetRecordToWsdk(const uint8_t* record, wsdk_commands::WSDK_Preset* preset);
// The same with lens mode and model given.
void presetRecordToWsdk(const uint8_t* record, wsdk_commands::WSDK_Preset* preset, int lensMode, uint8_t model);

// Smallest title number not used by a preset of that title in the group, or -1.
int nextTitleIterator(uint8_t group, uint32_t title);

uint32_t MapWSDKIconToFW(uint32_t icon);
uint32_t mapWsdkTitleToFw(uint32_t title);
uint8_t foldDualLensGroup(uint8_t group);
bool isModel50Or55(uint8_t model);
bool isPredefinedPresetId(uint32_t id);

// The preset ids of one group as the camera lists them (count byte, then little-endian words),
// copied out of the library's answer buffer, which the next camera call reuses.
struct PresetIdList {
    uint8_t count = 0;
    uint32_t ids[255];
};
// False when the answer is empty or shorter than its count says.
bool readPresetIdList(const uint8_t* answer, uint16_t length, PresetIdList* list);

// Reads one preset record into record (80 bytes). The remote result, or -1 when the answer is
// not 80 bytes long; logs either failure, with the size and the expected size when detailed.
int32_t fetchPresetRecord(uint32_t id, uint8_t* record, bool detailedSizeLine);

#endif
