// The larger members of the capture and mode family, each in its own file; the family's binding
// table is in capture_commands.cpp.
#ifndef CAPTURE_MODE_H
#define CAPTURE_MODE_H

#include <stdint.h>

struct CommandContext;

// ZTCONTROL_MODE: the requested mode, or on models that keep a selected flat mode per family, the
// flat mode the camera last selected for the family (capture_mode_set.cpp).
int32_t setModeWithOverride(CommandContext& c);
// ZTCONTROL_MODE_SUB_MODE (capture_mode_set.cpp).
int32_t setModeAndSubMode(CommandContext& c);
// ZTCONTROL_SYSTEM_BUTTON_SET: camera buttons, the multi-camera shutter and mode (capture_buttons.cpp).
int32_t systemButtonSet(CommandContext& c);

#endif
