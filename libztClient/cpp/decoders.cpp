#include "decoders.h"

#include <string.h>

#include <google/protobuf/descriptor.h>

#include "camera_layout.h"
#include "preset_messages.h"
#include "ztcontrol_commands.h"

namespace ztclient {

Node Node::integer(std::string key, long long v) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Int;
    n.i = v;
    return n;
}

Node Node::unsignedInt(std::string key, unsigned long long v) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Uint;
    n.u = v;
    return n;
}

Node Node::string(std::string key, std::string v) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Text;
    n.text = std::move(v);
    return n;
}

Node Node::boolean(std::string key, bool v) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Bool;
    n.u = v;
    return n;
}

Node Node::object(std::string key) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Object;
    return n;
}

Node Node::array(std::string key) {
    Node n;
    n.key = std::move(key);
    n.kind = Kind::Array;
    return n;
}

Node& Node::add(Node child) {
    items.push_back(std::move(child));
    return items.back();
}

namespace {

// Little-endian reads; callers have checked the size, so offsets are always inside the payload.
unsigned long long readLe(const uint8_t* p, int width) {
    unsigned long long v = 0;
    for (int i = width - 1; i >= 0; i--) v = v << 8 | p[i];
    return v;
}

long long readSigned(const uint8_t* p, int width) {
    switch (width) {
        case 1: {
            int8_t v;
            memcpy(&v, p, 1);
            return v;
        }
        case 2: return (int16_t)readLe(p, 2);
        default: return (int32_t)readLe(p, 4);
    }
}

// Text of a fixed field, up to its first NUL or the end of the field.
std::string fieldText(const uint8_t* p, size_t size) {
    const void* nul = memchr(p, 0, size);
    size_t n = nul ? (size_t)((const uint8_t*)nul - p) : size;
    return std::string((const char*)p, n);
}

enum class FieldKind { Unsigned, Signed, Flag };

struct ByteField {
    const char* name;
    int offset;
    int width;
    FieldKind kind;
};

void addFields(Node& out, const uint8_t* base, const ByteField* fields, size_t count) {
    for (size_t k = 0; k < count; k++) {
        const ByteField& f = fields[k];
        switch (f.kind) {
            case FieldKind::Signed: out.add(Node::integer(f.name, readSigned(base + f.offset, f.width))); break;
            case FieldKind::Flag: out.add(Node::boolean(f.name, readLe(base + f.offset, f.width) != 0)); break;
            default: out.add(Node::unsignedInt(f.name, readLe(base + f.offset, f.width))); break;
        }
    }
}

using namespace camlayout;
constexpr FieldKind U = FieldKind::Unsigned;
constexpr FieldKind S = FieldKind::Signed;
constexpr FieldKind F = FieldKind::Flag;

// The status block positions the camera gives a meaning (camera_layout.h).
const ByteField kStatusFields[] = {
    {"flat_mode", ST_FLAT_MODE, 1, U},
    {"sub_mode", ST_SUB_MODE, 1, U},
    {"video_selected_flat_mode", ST_VIDEO_FLAT_MODE, 1, S},
    {"photo_selected_flat_mode", ST_PHOTO_FLAT_MODE, 1, S},
    {"timelapse_selected_flat_mode", ST_TIMELAPSE_FLAT_MODE, 1, S},
    {"zoom", ST_ZOOM, 1, S},
    {"recording", ST_BUSY, 1, F},
    {"encoding", ST_ENCODING, 1, F},
    {"recording_seconds", ST_RECORDING_SECONDS, 4, U},
    {"mode_group", ST_MODE_GROUP, 4, U},
    {"video_preset", ST_VIDEO_PRESET, 4, U},
    {"photo_preset", ST_PHOTO_PRESET, 4, U},
    {"timelapse_preset", ST_TIMELAPSE_PRESET, 4, U},
    {"mode_group_6_preset", ST_SPECIAL_PRESET, 4, U},
    {"edited_preset", ST_EDITED_PRESET, 4, U},
    {"preset_state", ST_PRESET_STATE, 1, U},
    {"battery_percent", ST_BATTERY_PERCENT, 1, U},
    {"battery_bars", ST_BATTERY_BARS, 1, U},
    {"card_present", ST_SD_PRESENT, 1, F},
    {"remaining_photos", ST_REMAINING_PHOTOS, 4, U},
    {"remaining_video_seconds", ST_REMAINING_VIDEO_S, 4, U},
    {"media_count", ST_MEDIA_COUNT, 4, U},
    {"access_point", ST_AP_STATE, 1, U},
    {"ble", ST_BLE_STATE, 1, U},
    {"pairing", ST_PAIRING, 1, F},
    {"scanning", ST_SCAN_STATE, 1, F},
    {"locate", ST_LOCATE, 1, F},
    {"voice_mode", ST_VOICE_MODE, 1, U},
    {"capture_delay", ST_CAPTURE_DELAY, 1, U},
    {"fw_update", ST_FW_UPDATE, 1, U},
    {"wifi_band", ST_WIFI_BAND, 1, U},
    {"connected_clients", ST_CONNECTED_CLIENTS, 1, U},
    {"liveview_exposure", ST_LIVEVIEW_EXPOSURE, 1, U},
    {"temperature_c", ST_TEMPERATURE_C, 1, S},
    {"lens_mode", ST_LENS_MODE, 1, S},
    {"stream_orientation", ST_STREAM_ORIENTATION, 1, U},
    {"audio_accessory", ST_AUDIO_ACCESSORY, 1, U},
};

const ByteField kSettingsFields[] = {
    {"flat_mode", SE_FLAT_MODE, 1, U},
    {"lens_setting", SE_LENS_SETTING, 1, U},
    {"lens_setting_2", SE_LENS_SETTING_2, 1, U},
    {"nightlapse_lens", SE_NIGHTLAPSE_LENS, 1, U},
    {"nightlapse_lens_2", SE_NIGHTLAPSE_LENS_2, 1, U},
};

const char* transcodeStatusName(unsigned long long status) {
    switch (status) {
        case 0: return "started";
        case 1: return "running";
        case 2: return "done";
        case 3: return "cancelled";
        case 4: return "failed";
        default: return "unknown";
    }
}

bool isPrintable(uint8_t c) { return (c >= 0x20 && c < 0x7f) || c == '\t' || c == '\n' || c == '\r'; }


}  // namespace

bool decodeId(const char* name, const uint8_t* data, size_t length, Node& out) {
    if (length != kIdPayloadSize) return false;
    out = Node::object("");
    out.add(Node::unsignedInt(name, readLe(data, 4)));
    return true;
}

bool decodeScanPage(const uint8_t* data, size_t length, Node& out) {
    if (length != kScanPageSize) return false;
    constexpr size_t kEntries = 10, kEntryBase = 12, kEntrySize = 48;
    out = Node::object("");
    out.add(Node::unsignedInt("offset", data[0]));
    out.add(Node::unsignedInt("scan_id", readLe(data + 2, 2)));
    unsigned long long count = readLe(data + 4, 2);
    out.add(Node::unsignedInt("count", count));
    out.add(Node::unsignedInt("total", readLe(data + 8, 4)));
    Node& entries = out.add(Node::array("entries"));
    for (size_t i = 0; i < count && i < kEntries; i++) {
        const uint8_t* e = data + kEntryBase + kEntrySize * i;
        Node entry = Node::object("");
        entry.add(Node::string("ssid", fieldText(e, 32)));
        entry.add(Node::unsignedInt("auth_type", readLe(e + 36, 4)));
        entry.add(Node::unsignedInt("frequency_mhz", readLe(e + 40, 4)));
        entry.add(Node::unsignedInt("signal", e[44]));
        entries.add(std::move(entry));
    }
    return true;
}

bool decodeTranscodeRecord(const uint8_t* data, size_t length, Node& out) {
    if (length != kTranscodeRecordSize) return false;
    out = Node::object("");
    out.add(Node::string("source", fieldText(data, 257)));
    out.add(Node::unsignedInt("transcode_id", readLe(data + 264, 8)));
    unsigned long long status = readLe(data + 272, 4);
    out.add(Node::unsignedInt("status", status));
    out.add(Node::string("status_name", transcodeStatusName(status)));
    out.add(Node::integer("failure_reason", readSigned(data + 276, 4)));
    out.add(Node::unsignedInt("estimate_seconds", readLe(data + 280, 4)));
    out.add(Node::unsignedInt("progress", readLe(data + 284, 4)));
    out.add(Node::string("filename", fieldText(data + 288, 257)));
    return true;
}

bool decodeTranscodeHistory(const uint8_t* data, size_t length, Node& out) {
    if (length != kTranscodeHistorySize) return false;
    static const uint8_t kZero[kTranscodeRecordSize] = {};
    out = Node::object("");
    Node& jobs = out.add(Node::array("jobs"));
    for (size_t slot = 0; slot < 2; slot++) {
        const uint8_t* rec = data + slot * kTranscodeRecordSize;
        Node job;
        if (memcmp(rec, kZero, kTranscodeRecordSize) == 0) {
            job = Node::object("");
            job.add(Node::boolean("empty", true));
        } else {
            decodeTranscodeRecord(rec, kTranscodeRecordSize, job);
        }
        job.items.insert(job.items.begin(), Node::unsignedInt("slot", slot));
        jobs.add(std::move(job));
    }
    return true;
}

bool decodeStatusBlock(const uint8_t* data, size_t length, Node& out) {
    if (length != kStatusBlockSize) return false;
    out = Node::object("");
    addFields(out, data, kStatusFields, sizeof kStatusFields / sizeof kStatusFields[0]);
    return true;
}

bool decodeSettingsBlock(const uint8_t* data, size_t length, Node& out) {
    if (length != kSettingsBlockSize) return false;
    out = Node::object("");
    addFields(out, data, kSettingsFields, sizeof kSettingsFields / sizeof kSettingsFields[0]);
    return true;
}

bool decodeStatusRecord(const uint8_t* data, size_t length, Node& out) {
    if (length != kStatusRecordSize) return false;
    out = Node::object("");
    Node status, settings;
    decodeStatusBlock(data, kStatusBlockSize, status);
    decodeSettingsBlock(data + kStatusBlockSize, kSettingsBlockSize, settings);
    status.key = "status";
    settings.key = "settings";
    out.add(std::move(status));
    out.add(std::move(settings));
    out.add(Node::integer("lens_mode", readSigned(data + 622, 1)));
    out.add(Node::integer("lens", readSigned(data + 623, 1)));
    return true;
}

bool decodeFixedText(const char* name, const uint8_t* data, size_t length, size_t fieldSize, Node& out) {
    if (length != fieldSize) return false;
    out = Node::object("");
    out.add(Node::string(name, fieldText(data, fieldSize)));
    return true;
}

bool decodePrintableText(const uint8_t* data, size_t length, Node& out) {
    size_t n = 0;
    while (n < length && data[n] != 0) {
        if (!isPrintable(data[n])) return false;
        n++;
    }
    if (n == 0) return false;
    for (size_t k = n; k < length; k++)
        if (data[k] != 0) return false;
    out = Node::object("");
    out.add(Node::string("text", std::string((const char*)data, n)));
    return true;
}

Decoded decodePayload(uint32_t commandId, const uint8_t* data, size_t length) {
    Decoded d;
    if (!data || length == 0) return d;
    size_t expected = 0;
    switch (commandId) {
        case ZTCONTROL_WIFI_SSID_SCAN:
            d.kind = "scan id";
            d.known = decodeId("scan_id", data, length, d.fields);
            expected = kIdPayloadSize;
            break;
        case ZTCONTROL_PRESET_GET_ACTIVE_PRESET:
            d.kind = "active preset";
            d.known = decodeId("preset_id", data, length, d.fields);
            if (d.known) {
                d.fields.add(Node::unsignedInt("group", (d.fields.items[0].u >> 16) & 0xff));
                d.fields.add(Node::unsignedInt("number", d.fields.items[0].u & 0xffff));
            }
            expected = kIdPayloadSize;
            break;
        case ZTCONTROL_WIFI_SSID_LIST:
            d.kind = "scan page";
            d.known = decodeScanPage(data, length, d.fields);
            expected = kScanPageSize;
            break;
        case ZTCONTROL_TRANSCODE_VIDEO_REQUEST:
        case ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:
        case ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST:
        case ZTCONTROL_TRANSCODE_STATUS:
        case ZTCONTROL_TRANSCODE_CANCEL:
            d.kind = "transcode record";
            d.known = decodeTranscodeRecord(data, length, d.fields);
            expected = kTranscodeRecordSize;
            break;
        case ZTCONTROL_TRANSCODE_HISTORY:
            d.kind = "transcode history";
            d.known = decodeTranscodeHistory(data, length, d.fields);
            expected = kTranscodeHistorySize;
            break;
        case ZTCONTROL_GET_ALL_SETTINGS_STATUS:
            d.kind = "status record";
            d.known = decodeStatusRecord(data, length, d.fields);
            expected = kStatusRecordSize;
            break;
        case ZTCONTROL_GET_ALL_STATUS:
            d.kind = "status block";
            d.known = decodeStatusBlock(data, length, d.fields);
            expected = kStatusBlockSize;
            break;
        case ZTCONTROL_GET_STATUS_EXTENDED:
            // The extension's layout is the camera's own: only the status block part is named.
            if (length < kStatusBlockSize) {
                d.note = "unexpected size " + std::to_string(length) + " (expected at least " +
                         std::to_string(kStatusBlockSize) + ")";
                return d;
            }
            d.kind = "extended status";
            d.known = true;
            d.fields = Node::object("");
            {
                Node status;
                decodeStatusBlock(data, kStatusBlockSize, status);
                status.key = "status";
                d.fields.add(std::move(status));
            }
            d.fields.add(Node::unsignedInt("extension_bytes", length - kStatusBlockSize));
            return d;
        case ZTCONTROL_GET_ALL_SETTINGS:
            d.kind = "settings block";
            d.known = decodeSettingsBlock(data, length, d.fields);
            expected = kSettingsBlockSize;
            break;
        case ZTCONTROL_CAL_FILE_NAME_GET:
            d.kind = "calibration file";
            d.known = decodeFixedText("path", data, length, kCalibrationPathSize, d.fields);
            expected = kCalibrationPathSize;
            break;
        default:
            if (const google::protobuf::Descriptor* type = presetAnswerType(commandId)) {
                d.kind = type->name();
                if (!decodePresetAnswer(commandId, data, length, d.messageText, d.messageJson))
                    d.note = "does not parse as " + type->name();
                return d;
            }
            d.known = decodePrintableText(data, length, d.fields);
            if (d.known) d.kind = "text";
            return d;
    }
    if (!d.known)
        d.note = "unexpected size " + std::to_string(length) + " (expected " + std::to_string(expected) + ")";
    return d;
}

const char* payloadDescription(uint32_t commandId) {
    switch (commandId) {
        case ZTCONTROL_WIFI_SSID_SCAN: return "4 bytes, the scan id";
        case ZTCONTROL_PRESET_GET_ACTIVE_PRESET: return "4 bytes, the active preset id";
        case ZTCONTROL_WIFI_SSID_LIST: return "492-byte scan page (up to 10 networks)";
        case ZTCONTROL_TRANSCODE_VIDEO_REQUEST:
        case ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:
        case ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST:
        case ZTCONTROL_TRANSCODE_STATUS:
        case ZTCONTROL_TRANSCODE_CANCEL: return "552-byte transcode job record";
        case ZTCONTROL_TRANSCODE_HISTORY: return "1104 bytes, the last two transcode job records";
        case ZTCONTROL_GET_ALL_SETTINGS_STATUS: return "624-byte status record (status, settings, lens)";
        case ZTCONTROL_GET_ALL_STATUS: return "the camera's status block (384 bytes)";
        case ZTCONTROL_GET_ALL_SETTINGS: return "the camera's settings block (238 bytes)";
        case ZTCONTROL_GET_STATUS_EXTENDED:
            return "the camera's extended status: the status block (named fields), then more bytes (hex)";
        case ZTCONTROL_CAL_FILE_NAME_GET: return "257 bytes, the calibration file path";
        case ZTCONTROL_ANALYTICS_FILENAME_GET: return "the analytics file name (text)";
        default: return presetAnswerType(commandId) ? "protobuf message, printed in text format" : "none";
    }
}

}  // namespace ztclient
