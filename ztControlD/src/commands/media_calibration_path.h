// The calibration file path answered by ZTCONTROL_CAL_FILE_NAME_GET.
#ifndef MEDIA_CALIBRATION_PATH_H
#define MEDIA_CALIBRATION_PATH_H

#include <stddef.h>
#include <stdint.h>

constexpr size_t CALIBRATION_PATH_SIZE = 257;

// Fills path (CALIBRATION_PATH_SIZE bytes, zero-filled) with "/tmp/fuse_a/" followed, when the
// camera's answer is usable (1 to 244 bytes), by its characters from byte 3 up to the end or the
// first NUL, backslashes turned into slashes.
void buildCalibrationPath(const uint8_t* answer, uint16_t length, char* path);

#endif
