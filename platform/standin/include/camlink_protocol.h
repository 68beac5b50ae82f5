// The link between the platform stand-ins (control and settings libraries) and the camera
// simulator: every operation is one TLV exchange over POSIX mailboxes.
//
// Request (stand-in -> camera mailbox, "/to_ztnet" by default), category CAMLINK_CAT_REQUEST:
//   TLV_CMD    two-character operation code (below)
//   TLV_CMDARG 4-byte big-endian sequence number, then the operation's arguments
//   TLV_SRC    reply mailbox name ("/to_ztCtlD2" in the daemon)
//   TLV_DST    camera mailbox name
//   TLV_END
// Reply (camera -> reply mailbox), category CAMLINK_CAT_REPLY:
//   TLV_CMD    the request's code
//   TLV_CMDARG the request's 4-byte sequence number
//   TLV_RSPARG 4-byte big-endian signed result, 1-byte signed NAK reason (0 when none; the
//              stand-in keeps it as the context's last NAK reason), then the answer bytes
//   TLV_SRC, TLV_DST, TLV_END
// All multi-byte integers in arguments are big-endian unless an operation says otherwise; camera
// payloads and answers (remote operations, satchel commands) travel unchanged.
#ifndef CAMLINK_PROTOCOL_H
#define CAMLINK_PROTOCOL_H

#include <stdint.h>

#define CAMLINK_DEFAULT_CAMERA_MBOX "/to_ztnet"
#define CAMLINK_DEFAULT_DAEMON_MBOX "/to_ztCtlD"
#define CAMLINK_DEFAULT_REPLY_MBOX "/to_ztCtlD2"

enum {
    CAMLINK_CAT_REQUEST = 0x30,  // even: a command
    CAMLINK_CAT_REPLY = 0x31     // odd: a response
};

// Largest answer a reply can carry: ZTMSG_MAX minus header, elements and names.
#define CAMLINK_MAX_ANSWER 1300

// Operation codes (TLV_CMD values).
#define CAMLINK_OP_REMOTE "RA"      // args: category u8, operation u8, payload...      answer: camera bytes
#define CAMLINK_OP_SATCHEL "SA"     // args: code[2], payload...                         answer: camera bytes
#define CAMLINK_OP_MODEL "MN"       // args: none                                        answer: model u8
#define CAMLINK_OP_ADAPTER "PA"     // args: model u8                                    answer: none
#define CAMLINK_OP_DIRECT "DC"      // args: direct op u16, then its arguments           answer: per op
#define CAMLINK_OP_CSI_SET "CS"     // args: item u32, data...                           answer: none
#define CAMLINK_OP_SET_VALUE "SV"   // args: setting id i32, block u32, offset u32, value i32, width u32
                                    //                                                   answer: none

// Direct operations (CAMLINK_OP_DIRECT). Integer arguments are i32 big-endian in the order of the
// ztc_* function; storage names are a u16 length then the bytes. Getters answer i32 big-endian
// values in the order of their outputs.
enum CamlinkDirectOp : uint16_t {
    CAMLINK_SHUTTER = 1,
    CAMLINK_SET_MODE,
    CAMLINK_SET_MODE_SUB_MODE,
    CAMLINK_SET_DIGITAL_ZOOM,
    CAMLINK_SET_CAPTURE_DELAY,
    CAMLINK_RESET_RES_FPS_FOV,
    CAMLINK_SET_BUTTON,
    CAMLINK_GET_LENS_MODE,
    CAMLINK_GET_LENS,
    CAMLINK_GET_ORIENTATION,
    CAMLINK_SET_ORIENTATION,
    CAMLINK_GET_MODE_FLAT_MODE,
    CAMLINK_SET_ONSCREEN_CONTROL,
    CAMLINK_ONSCREEN_SHORTCUTS_RESET,
    CAMLINK_SET_AUDIO_OPTION,
    CAMLINK_SET_MIC_OPTION,
    CAMLINK_RUSHLAPSE_SPEED_1X,
    CAMLINK_RUSHLAPSE_SPEED_RAMP,
    CAMLINK_RUSHLAPSE_SPEED_RAMP_ACTIVE,
    CAMLINK_VALIDATE_SHUTTER,
    CAMLINK_VIDEO_ULTREX_RESET,
    CAMLINK_PHOTO_ULTREX_RESET,
    CAMLINK_MULTISHOT_ULTREX_RESET,
    CAMLINK_VIDEO_ISO_GET,
    CAMLINK_PHOTO_ISO_GET,
    CAMLINK_MULTISHOT_ISO_GET,
    CAMLINK_VIDEO_ISO_MIN_GET,
    CAMLINK_PHOTO_ISO_MIN_GET,
    CAMLINK_MULTISHOT_ISO_MIN_GET,
    CAMLINK_VIDEO_ISO_SET,
    CAMLINK_PHOTO_ISO_SET,
    CAMLINK_MULTISHOT_ISO_SET,
    CAMLINK_VIDEO_ISO_MIN_SET,
    CAMLINK_PHOTO_ISO_MIN_SET,
    CAMLINK_MULTISHOT_ISO_MIN_SET,
    CAMLINK_STORAGE_TAG_FILE,
    CAMLINK_STORAGE_DELETE_FILE,
    CAMLINK_STORAGE_DELETE_GROUP,
    CAMLINK_FW_DOWNLOAD_START,
    CAMLINK_FW_DOWNLOAD_CANCEL,
    CAMLINK_FW_DOWNLOAD_DONE,
    CAMLINK_DIRECT_OP_COUNT
};

#endif
