// Camera control library (libztCtrlD) as the daemon uses it.
//
// Every operation takes the one process-wide context first (except the two ISO-number mappers),
// returns 0 on success or a negative ztErrno, and passes camera results through unchanged.
// Answering operations store a pointer and a 16-bit length through their last two arguments; the
// caller clears both first. The library owns the answer buffer: it stays valid until the next call
// on the same context, and the caller never frees it. An answer of one byte holding 2 means the
// camera is off.
#ifndef ZTC_CONTROL_H
#define ZTC_CONTROL_H

#include <mqueue.h>
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZTC_MBOX_NAME_MAX 64

// One per process. The daemon zeroes it, sets both descriptors to -1, and fills rxName, txMqd and
// rxMqd when its interface opens. Everything else belongs to the library.
typedef struct ztc_msg_q_context {
    char rxName[ZTC_MBOX_NAME_MAX];          // reply mailbox name ("/to_ztCtlD2")
    mqd_t txMqd;                             // camera-side mailbox ("/to_ztnet"), write-only
    mqd_t rxMqd;                             // reply mailbox, read-only
    int8_t lastNakReason;                    // reason of the camera's last refusal (signed byte)
    char cameraMboxName[ZTC_MBOX_NAME_MAX];  // library's own: name reopened after a time-out; "" = "/to_ztnet"
    uint32_t sequence;                       // library's own: sequence number of the last request
    int replyTimeoutMs;                      // library's own: 0 = default reply time-out
} ztc_msg_q_context_t;

// Remote operations, addressed by (category, operation).
int ztc_send_simple_remote_api(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op);
int ztc_send_remote_api_payload(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op, const void* data,
                                uint16_t len);
int ztc_send_remote_api_for_response(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op,
                                     uint8_t** rsp, uint16_t* rspLen);
int ztc_send_remote_api_payload_response(ztc_msg_q_context_t* ctx, uint8_t category, uint8_t op,
                                         const void* data, uint16_t len, uint8_t** rsp, uint16_t* rspLen);
// Satchel command: a two-character code (not NUL-terminated) with data; rsp/rspLen may be null.
int ztc_send_satchel_command(ztc_msg_q_context_t* ctx, const char code[2], const void* data, uint16_t len,
                             uint8_t** rsp, uint16_t* rspLen);

// State and adapter.
int ztc_state_get_model_number(ztc_msg_q_context_t* ctx, uint8_t* model);
int ztc_select_protocol_adapter(uint8_t model);

// Readers.
int ztc_system_get_lens_mode(ztc_msg_q_context_t* ctx, int8_t* lensMode);
int ztc_system_get_lens(ztc_msg_q_context_t* ctx, int8_t* lens);
int ztc_setup_get_orientation(ztc_msg_q_context_t* ctx, uint8_t* orientation);
int ztc_app_get_mode_flat_mode(ztc_msg_q_context_t* ctx, int* mode, int* flatMode);

// Capture and mode.
int ztc_shutter(ztc_msg_q_context_t* ctx, uint8_t on);
int ztc_app_set_mode(ztc_msg_q_context_t* ctx, int mode);
int ztc_app_set_mode_sub_mode(ztc_msg_q_context_t* ctx, int mode, int subMode);
int ztc_app_set_digital_zoom(ztc_msg_q_context_t* ctx, int zoom);
int ztc_app_set_capture_delay(ztc_msg_q_context_t* ctx, int delay);
int ztc_video_reset_to_valid_res_fps_fov(ztc_msg_q_context_t* ctx);
int ztc_system_set_button(ztc_msg_q_context_t* ctx, int button, int state);

// Settings helpers.
int ztc_setup_set_orientation(ztc_msg_q_context_t* ctx, uint8_t orientation);
int ztc_settings_set_onscreen_control(ztc_msg_q_context_t* ctx, int value, int which);
int ztc_preset_onscreen_shortcuts_reset(ztc_msg_q_context_t* ctx);
int ztc_audio_set_audio_option(ztc_msg_q_context_t* ctx, uint8_t option);
int ztc_audio_set_mic_option(ztc_msg_q_context_t* ctx, uint8_t option);
int ztc_video_set_rushlapse_speed_1x(ztc_msg_q_context_t* ctx, int enabled);
int ztc_video_set_rushlapse_speed_ramp(ztc_msg_q_context_t* ctx, int ramp);
int ztc_video_set_rushlapse_speed_ramp_active(ztc_msg_q_context_t* ctx, int active);
int ztc_video_validate_shutter(ztc_msg_q_context_t* ctx, bool* invalid);

// Ultrex resets and ISO limits (limit = "iso", minimum = "iso_min").
int ztc_video_ultrex_reset(ztc_msg_q_context_t* ctx);
int ztc_photo_ultrex_reset(ztc_msg_q_context_t* ctx);
int ztc_multishot_ultrex_reset(ztc_msg_q_context_t* ctx);
int ztc_video_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_photo_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_multishot_ultrex_iso_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_video_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_photo_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_multishot_ultrex_iso_min_get(ztc_msg_q_context_t* ctx, int* value);
int ztc_video_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value);
int ztc_photo_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value);
int ztc_multishot_ultrex_iso_set(ztc_msg_q_context_t* ctx, int value);
int ztc_video_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value);
int ztc_photo_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value);
int ztc_multishot_ultrex_iso_min_set(ztc_msg_q_context_t* ctx, int value);
// Comparable rank of an ISO setting value (no camera exchange).
int ztc_video_ultrex_iso_number(int value);
int ztc_photo_ultrex_iso_number(int value);

// Storage.
int ztc_storage_tag_file(ztc_msg_q_context_t* ctx, const char* name, int nameLen, uint32_t offset,
                         uint32_t tagType);
int ztc_storage_delete_file(ztc_msg_q_context_t* ctx, const char* name, int nameLen);
int ztc_storage_delete_group(ztc_msg_q_context_t* ctx, const char* name, int nameLen);

// Firmware update.
int ztc_fwupdate_download_start(ztc_msg_q_context_t* ctx);
int ztc_fwupdate_download_cancel(ztc_msg_q_context_t* ctx);
int ztc_fwupdate_download_done(ztc_msg_q_context_t* ctx, bool success);

#ifdef __cplusplus
}
#endif

#endif
