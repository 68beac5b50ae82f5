#include <string.h>

#include "commands/command_family.h"
#include "server/ztcontrol_if_server.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"

int32_t refuseArgument(CommandContext& c, const char* text) {
    ZTLOG(UTIL_LOG_ERROR, "%s", text ? text : "Invalid parameter");
    c.refused = true;
    return ZT_ERR_INVALID_PARAM;
}

int32_t refusePrecondition(CommandContext& c, const char* text) {
    ZTLOG(UTIL_LOG_ERROR, "%s", text);
    c.refused = true;
    return ZT_ERR;
}

const uint8_t* argumentBytes(const CommandContext& c) { return c.argument->getData(); }

const char* argumentText(const CommandContext& c) { return reinterpret_cast<const char*>(c.argument->getData()); }

int32_t answerSimpleRemote(const char* trace, uint8_t category, uint8_t op) {
    ZTLOG(UTIL_LOG_DEBUG, "%s", trace);
    return ztc_send_simple_remote_api(&g_ztcContext, category, op);
}

int32_t sendRemoteByte(uint8_t category, uint8_t op, uint8_t byte) {
    return ztc_send_remote_api_payload(&g_ztcContext, category, op, &byte, sizeof(byte));
}

int32_t remoteQuery(uint8_t category, uint8_t op, const uint8_t** answer, uint16_t* length) {
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int32_t result = ztc_send_remote_api_for_response(&g_ztcContext, category, op, &rsp, &len);
    *answer = rsp;
    *length = rsp ? len : 0;
    return result;
}

int32_t remoteQueryWithPayload(uint8_t category, uint8_t op, const void* data, uint16_t dataLength,
                               const uint8_t** answer, uint16_t* length) {
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int32_t result =
        ztc_send_remote_api_payload_response(&g_ztcContext, category, op, data, dataLength, &rsp, &len);
    *answer = rsp;
    *length = rsp ? len : 0;
    return result;
}

int32_t answerWithBytes(CommandContext& c, int32_t result, const uint8_t* bytes, uint16_t length) {
    if (length > sizeof(c.scratch)) {
        ZTLOG(UTIL_LOG_ERROR, "Camera answer of %u bytes is too long to return", length);
        return ZT_ERR;
    }
    if (bytes && length) memcpy(c.scratch, bytes, length);
    c.payload = c.scratch;
    c.payloadLength = bytes ? length : 0;
    return result;
}

bool isCameraOffAnswer(const uint8_t* answer, uint16_t length) { return answer && length == 1 && answer[0] == 2; }

int32_t answerCameraOff(bool getAllSettings) {
    if (getAllSettings)
        ZTLOG(UTIL_LOG_DEBUG, "Camera status returning ZT_ERR_NAK_OFF\n");
    else
        ZTLOG(UTIL_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF\n");
    return ZT_ERR_NAK_OFF;
}
