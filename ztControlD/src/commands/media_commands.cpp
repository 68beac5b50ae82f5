// Media, firmware-update and system commands: each one library call or remote operation.
#include <string.h>

#include "commands/command_family.h"
#include "commands/media_calibration_path.h"
#include "server/ztcontrol_if_server.h"
#include "util/log_text.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "ztcontrol_commands.h"

namespace {

// Glint-tag argument: tag type word, file name field, position word.
constexpr size_t kGlintNameOffset = 4;
constexpr size_t kGlintNameField = 260;
constexpr size_t kGlintPositionOffset = 264;
constexpr uint16_t kGlintArgument = 268;

int32_t glintTagPlayback(CommandContext& c) {
    const uint8_t* arg = argumentBytes(c);
    const char* name = reinterpret_cast<const char*>(arg + kGlintNameOffset);
    const size_t nameLength = strnlen(name, kGlintNameField);
    if (nameLength == kGlintNameField) return refuseArgument(c);
    const uint32_t position = readLe32(arg + kGlintPositionOffset);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_GLINT_TAG_PLAYBACK: filename[%s] offset:%d", LogText(name, nameLength).c_str(), (int)position);
    return ztc_storage_tag_file(&g_ztcContext, name, (int)nameLength, position, readLe32(arg));
}

int32_t deleteFile(CommandContext& c) {
    const char* name = argumentText(c);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_DELETE: filename[%s]", LogText(name).c_str());
    return ztc_storage_delete_file(&g_ztcContext, name, (int)strlen(name));
}

int32_t deleteGroup(CommandContext& c) {
    const char* name = argumentText(c);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_DELETE_GROUP: filename[%s]", LogText(name).c_str());
    return ztc_storage_delete_group(&g_ztcContext, name, (int)strlen(name));
}

int32_t firmwareUpdateStart(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_START:");
    return ztc_fwupdate_download_start(&g_ztcContext);
}

int32_t firmwareUpdateCancel(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_CANCEL:");
    return ztc_fwupdate_download_cancel(&g_ztcContext);
}

int32_t firmwareUpdateDone(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_DONE:");
    return ztc_fwupdate_download_done(&g_ztcContext, c.value != 0);
}

int32_t systemShutdown(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_SYSTEM_SHUTDOWN:");
    return sendRemoteByte(8, 2, 1);
}

int32_t systemSleep(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_SYSTEM_SLEEP:");
    return sendRemoteByte(8, 2, 0);
}

int32_t locate(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_LOCATE: onOff:%d", (int)c.value);
    return sendRemoteByte(8, 13, (uint8_t)c.value);
}

int32_t factoryReset(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_FACTORY_RESET: resetType:%d", (int)c.value);
    return sendRemoteByte(8, 4, (uint8_t)c.value);
}

int32_t analyticsFilenameGet(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_ANALYTICS_FILENAME_GET:");
    const uint8_t* answer;
    uint16_t length;
    int32_t result = remoteQuery(8, 21, &answer, &length);
    return answerWithBytes(c, result, answer, length);
}

int32_t setLogLevel(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_SET_LOG_LEVEL: level:%d", (int)c.value);
    ztUtilSetLogLevel(c.value);
    return ZT_OK;
}

int32_t calibrationFileNameGet(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "REMOTE_SYSTEM_CAL_FILE_NAME_GET:");
    const uint8_t* answer;
    uint16_t length;
    int32_t result = remoteQuery(8, 35, &answer, &length);
    buildCalibrationPath(answer, result == ZT_OK ? length : 0, reinterpret_cast<char*>(c.scratch));
    c.payload = c.scratch;
    c.payloadLength = CALIBRATION_PATH_SIZE;
    return result;
}

const CommandBinding kBindings[] = {
    {ZTCONTROL_GLINT_TAG_PLAYBACK, glintTagPlayback, kGlintArgument, nullptr},
    {ZTCONTROL_DELETE, deleteFile, 0, nullptr},
    {ZTCONTROL_DELETE_LAST,
     [](CommandContext&) { return answerSimpleRemote("ZTCONTROL_DELETE_LAST:", 9, 9); }, 0, nullptr},
    {ZTCONTROL_DELETE_GROUP, deleteGroup, 0, nullptr},
    {ZTCONTROL_DELETE_ALL,
     [](CommandContext&) { return answerSimpleRemote("ZTCONTROL_DELETE_ALL:", 9, 10); }, 0, nullptr},
    {ZTCONTROL_FW_UPDATE_START, firmwareUpdateStart, 0, nullptr},
    {ZTCONTROL_FW_UPDATE_CANCEL, firmwareUpdateCancel, 0, nullptr},
    {ZTCONTROL_FW_UPDATE_DONE, firmwareUpdateDone, 0, nullptr},
    {ZTCONTROL_SYSTEM_SHUTDOWN, systemShutdown, 0, nullptr},
    {ZTCONTROL_SYSTEM_SLEEP, systemSleep, 0, nullptr},
    {ZTCONTROL_LOCATE, locate, 0, nullptr},
    {ZTCONTROL_FACTORY_RESET, factoryReset, 0, nullptr},
    {ZTCONTROL_ANALYTICS_FILENAME_GET, analyticsFilenameGet, 0, nullptr},
    {ZTCONTROL_ANALYTICS_CLEAR,
     [](CommandContext&) { return answerSimpleRemote("ZTCONTROL_ANALYTICS_CLEAR:", 8, 20); }, 0, nullptr},
    {ZTCONTROL_SET_LOG_LEVEL, setLogLevel, 0, nullptr},
    {ZTCONTROL_CAL_FILE_NAME_GET, calibrationFileNameGet, 0, nullptr},
};

}  // namespace

void buildCalibrationPath(const uint8_t* answer, uint16_t length, char* path) {
    static const char kPrefix[] = "/tmp/fuse_a/";
    constexpr size_t kPrefixLength = sizeof(kPrefix) - 1;
    constexpr size_t kNameStart = 3;       // the camera's characters start at its byte 3
    constexpr uint16_t kMaxAnswer = 244;   // longer answers are ignored
    memset(path, 0, CALIBRATION_PATH_SIZE);
    memcpy(path, kPrefix, kPrefixLength);
    if (!answer || length < 1 || length > kMaxAnswer) return;
    size_t out = kPrefixLength;
    for (size_t i = kNameStart; i < length && answer[i] != '\0'; ++i)
        path[out++] = answer[i] == '\\' ? '/' : (char)answer[i];
}

const CommandFamily kMediaSystemCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
