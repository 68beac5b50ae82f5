// The larger members of the settings and status family, each in its own file; the family's
// binding table is in settings_commands.cpp.
#ifndef SETTINGS_STATUS_H
#define SETTINGS_STATUS_H

#include <stdint.h>

struct CommandContext;

// ZTCONTROL_SET_SETTING_ID: one setting by id, with the follow-ups that keep dependent settings
// consistent (settings_set_id.cpp).
int32_t setSettingById(CommandContext& c);
// ZTCONTROL_LIVEVIEW_MODE_SET: exposure mode and select position of live view (settings_liveview.cpp).
int32_t liveviewModeSet(CommandContext& c);

#endif
