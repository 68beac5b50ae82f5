// Storing an open preset edit, and the preset-edit timer's callback.
#ifndef PRESET_EDIT_H
#define PRESET_EDIT_H

// 1 when the edit was stored, or when the setting belongs to no preset and needs none; else 0.
// settingId -1 means no particular setting.
int storePresetEdit(int settingId);

// Timer callback (argument: the server): stores the open edit and clears presetEditOpen. Runs on
// the timer thread with the timer's mutex held.
int presetEditTimeout(void* server);

#endif
