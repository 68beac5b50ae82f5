// Wireless, remote-control and notification commands: access point, Bluetooth LE, Wi-Fi scan and
// client-mode networks through satchel commands, the band through a remote operation, remote
// pairing, and the registration of notification clients.
//
// Text fields of the packed arguments must be NUL-terminated inside their field; an argument
// whose field holds no NUL is refused like a malformed argument ("Invalid parameter", -3), so
// nothing is ever read past a field. Connect (22) is the exception: it cuts its texts to 31
// characters anyway, so a full field is cut instead.
#include <string.h>

#include <algorithm>

#include "commands/command_family.h"
#include "notify/push_registry.h"
#include "server/ztcontrol_if_server.h"
#include "util/log_text.h"
#include "ztErrno.h"
#include "ztLog.h"
#include "zt_msg_classes.h"
#include "ztcontrol_commands.h"

namespace {

// Packed arguments: a name field, a password field and a trailing 32-bit word.
constexpr size_t kNameOffset = 0;
constexpr size_t kNameField = 33;
constexpr size_t kPasswordOffset = 33;
constexpr size_t kApPasswordField = 71;  // up to the flag word
constexpr size_t kApFlagOffset = 104;
constexpr uint16_t kApArgument = 108;
constexpr size_t kNetworkPasswordField = 67;  // up to the auth type
constexpr size_t kAuthTypeOffset = 100;
constexpr uint16_t kConnectArgument = 104;
constexpr size_t kMaxStoredText = 32;
constexpr size_t kQueueNameOffset = 4;

// Network-list payloads ("CT", "CL", "CD").
constexpr uint16_t kNetworkPayload = 97;
constexpr size_t kPayloadNameOffset = 4;
constexpr size_t kPayloadPasswordOffset = 37;
constexpr size_t kPayloadField = 32;
constexpr uint8_t kNetworkRecordLength = 96;

// Scan result page and the camera's answer to "al".
constexpr uint16_t kScanPageSize = 492;
constexpr size_t kPageEntries = 10;
constexpr size_t kPageEntryOffset = 12;
constexpr size_t kPageEntrySize = 48;
constexpr size_t kPageNameField = 32;
constexpr size_t kAnswerHeader = 7;
constexpr size_t kAnswerEntrySize = 96;
constexpr size_t kAnswerNameOffset = 2;
constexpr size_t kAnswerWordOffset = 87;

struct FieldText {
    const char* text;
    size_t length;
};

// The NUL-terminated text of a field of the argument. The field ends at the argument's end when
// that comes first; an empty remainder is an empty text. False when the field holds no NUL (the
// text is then the whole field, for the trace line only).
bool fieldText(const CommandContext& c, size_t offset, size_t size, FieldText* out) {
    const size_t available = c.argument->getLength() > offset ? c.argument->getLength() - offset : 0;
    const size_t field = std::min(size, available);
    out->text = field ? reinterpret_cast<const char*>(argumentBytes(c) + offset) : "";
    const void* nul = field ? memchr(out->text, '\0', field) : nullptr;
    out->length = nul ? (size_t)(static_cast<const char*>(nul) - out->text) : field;
    return field == 0 || nul != nullptr;
}

void putLe16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

int32_t sendSatchel(const char* code, const uint8_t* data, uint16_t length) {
    return ztc_send_satchel_command(&g_ztcContext, code, data, length, nullptr, nullptr);
}

// Asks for the answer (pointer and length cleared first); the answer belongs to the library.
int32_t satchelQuery(const char* code, const uint8_t* data, uint16_t length, const uint8_t** answer,
                     uint16_t* answerLength) {
    uint8_t* rsp = nullptr;
    uint16_t len = 0;
    int32_t result = ztc_send_satchel_command(&g_ztcContext, code, data, length, &rsp, &len);
    *answer = rsp;
    *answerLength = rsp ? len : 0;
    return result;
}

// Copies at most max characters of text into a zeroed field of the payload.
void putText(uint8_t* field, const FieldText& text, size_t max) {
    memcpy(field, text.text, std::min(text.length, max));
}

int32_t queuePushNotifications(CommandContext& c) {
    FieldText name;
    if (!fieldText(c, kQueueNameOffset, c.argument->getLength(), &name) || name.length == 0)
        return refuseArgument(c);
    if (readLe32(argumentBytes(c)) != 0) return registerQueueClient(c.server, name.text);
    return removeQueueClient(c.server, name.text);
}

int32_t accessPointControl(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_AP_CONTROL: action:%d", (int)c.value);
    static const uint8_t kSubCommand[] = {3, 1, 6};
    if (c.value >= sizeof(kSubCommand)) return ZT_ERR_INVALID_PARAM;
    const uint8_t payload[2] = {kSubCommand[c.value], 0};
    return sendSatchel("AP", payload, sizeof(payload));
}

int32_t accessPointConfig(CommandContext& c) {
    FieldText name, password;
    const bool nameOk = fieldText(c, kNameOffset, kNameField, &name);
    const bool passwordOk = fieldText(c, kPasswordOffset, kApPasswordField, &password);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[%s] password[%s]", LogText(name.text, name.length).c_str(),
          LogText(password.text, password.length).c_str());
    if (!nameOk || !passwordOk) return refuseArgument(c);
    if (name.length == 0 || password.length == 0) return ZT_ERR_INVALID_PARAM;
    // Both lengths fit their byte: the fields are shorter than 256.
    uint8_t payload[4 + kApPasswordField + kNameField];
    size_t n = 0;
    payload[n++] = readLe32(argumentBytes(c) + kApFlagOffset) == 1 ? 0 : 6;
    payload[n++] = 1;
    payload[n++] = (uint8_t)password.length;
    memcpy(payload + n, password.text, password.length);
    n += password.length;
    payload[n++] = (uint8_t)name.length;
    memcpy(payload + n, name.text, name.length);
    n += name.length;
    return sendSatchel("AP", payload, (uint16_t)n);
}

int32_t bandSelect(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_BAND_SELECT: band:%d", (int)c.value);
    if (c.value > 1) return ZT_ERR_INVALID_PARAM;
    return sendRemoteByte(6, 19, (uint8_t)c.value);
}

int32_t scanStart(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SCAN: start:%d", (int)c.value);
    uint32_t scanId = 0;
    int32_t result = ZT_ERR_NOT_SUPPORTED;
    if (c.value == 1) {
        static const uint8_t kStart[] = {1, 1};
        const uint8_t* answer;
        uint16_t length;
        result = satchelQuery("NI", kStart, sizeof(kStart), &answer, &length);
        if (length > 1)
            scanId = answer[1];
        else
            ZTLOG(UTIL_LOG_ERROR, "Results from scan start not long enough to hold a scan id");
    }
    putLe32(c.scratch, scanId);
    c.payload = c.scratch;
    c.payloadLength = 4;
    return result;
}

// Fills the page from the camera's answer (byte 0 already known to be 0). Only whole entries
// inside the answer are taken, at most ten; the page's count is the number of entries it holds.
int32_t fillScanPage(uint8_t* page, uint8_t offset, const uint8_t* answer, uint16_t length) {
    if (length < kAnswerHeader) {
        ZTLOG(UTIL_LOG_ERROR, "Scan results of %u bytes are too short for their header", length);
        return ZT_ERR;
    }
    const size_t reported = answer[4];
    const size_t present = (length - kAnswerHeader) / kAnswerEntrySize;
    const size_t count = std::min(std::min(reported, present), kPageEntries);
    if (count < std::min(reported, kPageEntries))
        ZTLOG(UTIL_LOG_ERROR, "Scan results announce %u entries but hold %u", (unsigned)reported, (unsigned)present);
    page[0] = offset;
    putLe16(page + 2, answer[1]);
    putLe16(page + 4, (uint16_t)count);
    putLe32(page + 8, answer[5]);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = answer + kAnswerHeader + i * kAnswerEntrySize;
        uint8_t* out = page + kPageEntryOffset + i * kPageEntrySize;
        const char* name = reinterpret_cast<const char*>(entry + kAnswerNameOffset);
        memcpy(out, name, strnlen(name, kPageNameField - 1));
        putLe32(out + 36, entry[0]);
        memcpy(out + 40, entry + kAnswerWordOffset, 4);
        out[44] = entry[1];
    }
    return ZT_OK;
}

int32_t scanList(CommandContext& c) {
    const uint8_t offset = (uint8_t)c.value;
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_LIST: offset:%d", (int)offset);
    const uint8_t request[5] = {offset, (uint8_t)kPageEntries, 255, 255, 1};
    const uint8_t* answer;
    uint16_t length;
    int32_t result = satchelQuery("al", request, sizeof(request), &answer, &length);
    memset(c.scratch, 0, kScanPageSize);
    if (result == ZT_OK && length > 0) result = answer[0] != 0 ? ZT_ERR : fillScanPage(c.scratch, offset, answer, length);
    c.payload = c.scratch;
    c.payloadLength = kScanPageSize;
    return result;
}

int32_t storeNetwork(CommandContext& c) {
    FieldText name, password;
    const bool nameOk = fieldText(c, kNameOffset, kNameField, &name);
    const bool passwordOk = fieldText(c, kPasswordOffset, kNetworkPasswordField, &password);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SAVE: ssid[%s] password[%s]", LogText(name.text, name.length).c_str(),
          LogText(password.text, password.length).c_str());
    if (!nameOk || !passwordOk) return refuseArgument(c);
    uint8_t payload[2 * (kMaxStoredText + 1)] = {};
    if (name.length == 0 || name.length > kMaxStoredText || password.length > kMaxStoredText)
        return ZT_ERR_INVALID_PARAM;
    size_t n = name.length + 1;
    memcpy(payload, name.text, name.length);
    if (password.length) {
        memcpy(payload + n, password.text, password.length);
        n += password.length + 1;
    }
    return sendSatchel("CQ", payload, (uint16_t)n);
}

int32_t connectNetwork(CommandContext& c) {
    FieldText name, password;
    // Both texts are cut to 31 characters for the payload, so a name or password that fills its
    // field without a NUL is cut like a long one instead of refused: nothing is read past the field.
    fieldText(c, kNameOffset, kNameField, &name);
    fieldText(c, kPasswordOffset, kNetworkPasswordField, &password);
    const uint32_t authType = readLe32(argumentBytes(c) + kAuthTypeOffset);
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SELECT: ssid[%s] password[%s] auth_type:%d",
          LogText(name.text, name.length).c_str(), LogText(password.text, password.length).c_str(), (int)authType);
    if (name.length == 0 || authType > 255) return ZT_ERR_INVALID_PARAM;
    uint8_t payload[kNetworkPayload] = {1, kNetworkRecordLength, (uint8_t)authType, 0};
    putText(payload + kPayloadNameOffset, name, kPayloadField - 1);
    putText(payload + kPayloadPasswordOffset, password, kPayloadField - 1);
    return sendSatchel(password.length ? "CT" : "CL", payload, sizeof(payload));
}

// "CD": first byte 0 forgets the named network, 1 all of them.
int32_t forgetNetworks(uint8_t all, const FieldText& name) {
    uint8_t payload[kNetworkPayload] = {all, kNetworkRecordLength, 0, 0};
    putText(payload + kPayloadNameOffset, name, kPayloadField);
    return sendSatchel("CD", payload, sizeof(payload));
}

int32_t forgetNetwork(CommandContext& c) {
    const FieldText name = {argumentText(c), strlen(argumentText(c))};
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE: ssid[%s]", LogText(name.text).c_str());
    if (name.length == 0) return ZT_ERR_INVALID_PARAM;
    return forgetNetworks(0, name);
}

int32_t forgetAllNetworks(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE_ALL:");
    return forgetNetworks(1, FieldText{"", 0});
}

int32_t remotePair(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_RC_PAIR:");
    static const uint8_t kPair[] = {1, 2};
    return sendSatchel("PD", kPair, sizeof(kPair));
}

int32_t remotePairCancel(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_RC_PAIR_CANCEL:");
    const uint8_t* answer;
    uint16_t length;
    int32_t result = satchelQuery("PX", nullptr, 0, &answer, &length);
    if (result != ZT_OK) return result;
    return length == 1 && answer[0] == 0 ? ZT_OK : ZT_ERR;
}

int32_t remoteApi(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_REMOTE_API:");
    c.refused = true;
    return ZT_OK;
}

int32_t pushNotifications(CommandContext& c) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_PUSH_NOTIFICATIONS: %s", LogText(argumentText(c)).c_str());
    return setPushNotificationStatus(c.server, argumentText(c));
}

int32_t bleControl(CommandContext&) {
    ZTLOG(UTIL_LOG_DEBUG, "ZTCONTROL_BLE_CONTROL");
    static const uint8_t kBleOn[] = {36, 0};
    return sendSatchel("AP", kBleOn, sizeof(kBleOn));
}

const CommandBinding kBindings[] = {
    {ZTCONTROL_MQ_PUSH_NOTIFICATIONS, queuePushNotifications, kQueueNameOffset, nullptr},
    {ZTCONTROL_WIFI_AP_CONTROL, accessPointControl, 0, nullptr},
    {ZTCONTROL_WIFI_AP_SSID_CONFIG, accessPointConfig, kApArgument, nullptr},
    {ZTCONTROL_WIFI_BAND_SELECT, bandSelect, 0, nullptr},
    {ZTCONTROL_WIFI_SSID_SCAN, scanStart, 0, nullptr},
    {ZTCONTROL_WIFI_SSID_LIST, scanList, 0, nullptr},
    {ZTCONTROL_WIFI_SSID_SAVE, storeNetwork, kNameField, nullptr},
    {ZTCONTROL_WIFI_SSID_SELECT, connectNetwork, kConnectArgument, nullptr},
    {ZTCONTROL_WIFI_SSID_DELETE, forgetNetwork, 0, nullptr},
    {ZTCONTROL_WIFI_SSID_DELETE_ALL, forgetAllNetworks, 0, nullptr},
    {ZTCONTROL_RC_PAIR, remotePair, 0, nullptr},
    {ZTCONTROL_RC_PAIR_CANCEL, remotePairCancel, 0, nullptr},
    {ZTCONTROL_REMOTE_API, remoteApi, 0, nullptr},
    {ZTCONTROL_PUSH_NOTIFICATIONS, pushNotifications, 0, nullptr},
    {ZTCONTROL_BLE_CONTROL, bleControl, 0, nullptr},
};

}  // namespace

const CommandFamily kWirelessCommands = {kBindings, sizeof(kBindings) / sizeof(kBindings[0])};
