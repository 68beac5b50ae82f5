// Capture and mode commands: shutter, mode, glint tag while recording, voice commands, digital
// zoom, photo timer and button presses. Most are one library call; the mode commands and the
// buttons are in their own files (capture_mode.h).
#include "commands/capture_mode.h"
#include "commands/command_family.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

constexpr uint8_t kVoiceCategory = 15;
// In this flat mode zoom changes belong to no preset.
constexpr int kFlatModeWithoutZoomEdit = 23;
// The preset edit of a series of zoom changes is stored this long after the last of them.
constexpr int kZoomEditStoreDelayMs = 200;

int32_t shutter(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_COMMAND_SHUTTER: value:%d", (int)c.value);
    return ztc_shutter(&g_ztcContext, (uint8_t)c.value);
}

int32_t voiceMode(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "Voice Mode:");
    return sendRemoteByte(kVoiceCategory, 9, (uint8_t)c.value);
}

int32_t voiceDeleteLast(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "Voice Control Delete Last");
    ZTLOG(UTIL_LOG_ERROR, "NOT SUPPORTED %d", (int)c.id);
    c.refused = true;
    return ZT_ERR_NOT_SUPPORTED;
}

// The preset edit is opened by the first zoom change of a series and stored by the timer thread
// after the last one; presetEditOpen, the edit start and the arming are guarded by the timer's
// mutex so that a store in progress ends before the next change tests the flag.
int32_t digitalZoom(CommandContext& c) {
    const int zoom = (int)c.value;
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_DIGITAL_ZOOM: dzoom:%d", zoom);
    int mode = 0;
    int flatMode = -1;
    ztc_app_get_mode_flat_mode(&g_ztcContext, &mode, &flatMode);
    ZTLOG(UTIL_LOG_DEBUG, "------Current flatmode is %d", flatMode);
    if (flatMode != kFlatModeWithoutZoomEdit) {
        ZtcontrolCommandServer* server = c.server;
        ZtcontrolCommandServer::Lock lock(server->presetEditTimer.mutex());
        if (!server->presetEditOpen) {
            if (!beginPresetEdit(-1)) return refusePresetEdit(c);
            server->presetEditOpen = true;
        }
        server->presetEditTimer.armLocked(kZoomEditStoreDelayMs, presetEditTimeout, server);
    }
    return ztc_app_set_digital_zoom(&g_ztcContext, zoom);
}

int32_t captureDelay(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_CAPTURE_DELAY: photo timer:%d", (int)c.value);
    return changeInPresetEdit(c, -1, [&] { return ztc_app_set_capture_delay(&g_ztcContext, (int)c.value); });
}

template <uint8_t Op>
int32_t voice(CommandContext&) {
    static const char* const kTraces[] = {"Voice Photo Take:",
                                          "Voice Video Start:",
                                          "Voice Video Stop:",
                                          "Voice Timelapse Start:",
                                          "Voice Timelapse_Stop:",
                                          "Voice Burst Take:",
                                          "Voice Tag:",
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          "Voice Edit My Story:"};
    static_assert(Op < sizeof(kTraces) / sizeof(kTraces[0]), "voice operation without a trace line");
    return answerSimpleRemote(kTraces[Op], kVoiceCategory, Op);
}

constexpr uint16_t kPairArgument = 8;  // two little-endian words

const CommandBinding kBindings[] = {
    {ZTCONTROL_COMMAND_SHUTTER, shutter, 0, nullptr},
    {ZTCONTROL_MODE, setModeWithOverride, 0, nullptr},
    {ZTCONTROL_MODE_SUB_MODE, setModeAndSubMode, kPairArgument, nullptr},
    {ZTCONTROL_GLINT_TAG_RECORDING,
     [](CommandContext&) { return answerSimpleRemote("ZTCONTROL_GLINT_TAG_RECORDING:", 9, 12); }, 0, nullptr},
    {ZTCONTROL_VOICE_PHOTO_TAKE, voice<0>, 0, nullptr},
    {ZTCONTROL_VOICE_VIDEO_START, voice<1>, 0, nullptr},
    {ZTCONTROL_VOICE_VIDEO_STOP, voice<2>, 0, nullptr},
    {ZTCONTROL_VOICE_TIMELAPSE_START, voice<3>, 0, nullptr},
    {ZTCONTROL_VOICE_TIMELAPSE_STOP, voice<4>, 0, nullptr},
    {ZTCONTROL_VOICE_BURST_TAKE, voice<5>, 0, nullptr},
    {ZTCONTROL_VOICE_TAG, voice<6>, 0, nullptr},
    {ZTCONTROL_VOICE_MODE, voiceMode, 0, nullptr},
    {ZTCONTROL_DIGITAL_ZOOM, digitalZoom, 0, nullptr},
    {ZTCONTROL_VOICE_EDIT_MY_STORY, voice<10>, 0, nullptr},
    {ZTCONTROL_VOICE_DELETE_LAST, voiceDeleteLast, 0, nullptr},
    {ZTCONTROL_CAPTURE_DELAY, captureDelay, 0, nullptr},
    {ZTCONTROL_SYSTEM_BUTTON_SET, systemButtonSet, kPairArgument, nullptr},
};

}  // namespace

const CommandFamily kCaptureModeCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
