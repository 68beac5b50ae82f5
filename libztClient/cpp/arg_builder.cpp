#include "arg_builder.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "preset_messages.h"
#include "ztcontrol_commands.h"

namespace ztclient {

namespace {

enum class FieldType {
    U32,       // little-endian 32-bit word; negative values down to INT32_MIN allowed
    U64,       // little-endian 64-bit word
    Text,      // NUL-terminated text in a fixed field of `size` bytes
    TextTail,  // NUL-terminated text that ends the structure (at most `size` bytes with its NUL)
    Words      // `size` / 4 little-endian words set by "word I=V" or "words V0,V1,..."
};

struct FieldLayout {
    const char* flag;
    FieldType type;
    uint16_t offset;
    uint16_t size;
    bool required;
    uint32_t defaultValue = 0;  // U32 fields that are not given
    const char* alias = nullptr;  // a second name of the flag
};

struct FamilyLayout {
    ArgFamily family;
    uint16_t length;  // structure length (before a TextTail)
    FieldLayout fields[4];
    const char* help;
};

// Field positions are the packed argument structures that the daemon reads.
const FamilyLayout kFamilies[] = {
    {ArgFamily::SettingId, 8,
     {{"id", FieldType::U32, 0, 4, true}, {"value", FieldType::U32, 4, 4, true}},
     "  --id N --value N            setting id and its new value"},
    {ArgFamily::ModeSubMode, 8,
     {{"mode", FieldType::U32, 0, 4, true}, {"sub-mode", FieldType::U32, 4, 4, true}},
     "  --mode N --sub-mode N       mode and sub mode"},
    {ArgFamily::Button, 8,
     {{"button", FieldType::U32, 0, 4, true, 0, "button-type"}, {"state", FieldType::U32, 4, 4, true, 0, "button-value"}},
     "  --button N --state N         (also --button-type, --button-value)\n"
     "                              buttons 0/1/2 (state 0 press, 1 long press), 16 multi-camera\n"
     "                              shutter (0 on, 1 off), 17 multi-camera mode (0 video, 1 photo,\n"
     "                              2 time-lapse, 3 mix), 18 no action"},
    {ArgFamily::GlintTag, 268,
     {{"tag-type", FieldType::U32, 0, 4, false},
      {"file", FieldType::Text, 4, 260, true},
      {"offset", FieldType::U32, 264, 4, false}},
     "  --file NAME [--tag-type N] [--offset N]\n"
     "                              file to tag, tag type and position in the file"},
    {ArgFamily::Liveview, 16,
     {{"exposure", FieldType::U32, 0, 4, true, 0, "exposure-mode"},
      {"x", FieldType::U32, 4, 4, false},
      {"y", FieldType::U32, 8, 4, false},
      {"extra", FieldType::U32, 12, 4, false}},
     "  --exposure N [--x N] [--y N] [--extra N]   (also --exposure-mode)\n"
     "                              exposure 0 automatic, 1 or 2 at the select position (x, y\n"
     "                              0..100), 3 by lens (model 51 in lens mode 1; --extra: lens)"},
    {ArgFamily::ApSsidConfig, 108,
     {{"ssid", FieldType::Text, 0, 33, true},
      {"password", FieldType::Text, 33, 71, false},
      {"flag", FieldType::U32, 104, 4, false}},
     "  --ssid NAME --password TEXT [--flag N]\n"
     "                              access point name (<= 32 chars), password (<= 70), flag word"},
    {ArgFamily::SsidEntry, 104,
     {{"ssid", FieldType::Text, 0, 33, true},
      {"password", FieldType::Text, 33, 67, false},
      {"auth-type", FieldType::U32, 100, 4, false}},
     "  --ssid NAME [--password TEXT] [--auth-type N]\n"
     "                              network name (<= 32 chars), password (<= 66), auth type"},
    {ArgFamily::MqPush, 4,
     {{"register", FieldType::U32, 0, 4, false, 1}, {"queue", FieldType::TextTail, 4, 256, true}},
     "  --queue NAME [--register 0|1]\n"
     "                              register (1, default) or remove (0) a notification queue"},
    {ArgFamily::TranscodeVideo, 304,
     {{"file", FieldType::Text, 0, 260, true}, {"word", FieldType::Words, 260, 44, false}},
     "  --file NAME [--word I=V ...] [--words V0,V1,...]\n"
     "                              source file and request words 0..10 (word I at byte 260+4*I);\n"
     "                              the camera gets the low bytes of words 1, 2, 0, 3, 4, then words\n"
     "                              5..10 as 32-bit big-endian numbers"},
    {ArgFamily::TranscodeShort, 272,
     {{"file", FieldType::Text, 0, 260, true}, {"word", FieldType::Words, 260, 12, false}},
     "  --file NAME [--word I=V ...] [--words V0,V1,V2]\n"
     "                              source file and request words 0..2 (word I at byte 260+4*I);\n"
     "                              photo-to-video sends word 0's low byte, word 1 (32-bit big-endian),\n"
     "                              word 2's low byte; to-photo the low bytes of words 0 and 1, then word 2"},
    {ArgFamily::TranscodeJob, 8,
     {{"job-id", FieldType::U64, 0, 8, true}},
     "  --job-id N                  transcode job id (64-bit)"},
};

const FamilyLayout* layoutOf(ArgFamily family) {
    for (const auto& f : kFamilies)
        if (f.family == family) return &f;
    return nullptr;
}

void putLe(std::vector<uint8_t>& out, size_t offset, unsigned long long value, int width) {
    for (int i = 0; i < width; i++) out[offset + i] = (uint8_t)(value >> (8 * i));
}

const FieldLayout* findField(const FamilyLayout& layout, const std::string& flag) {
    for (const auto& field : layout.fields) {
        if (!field.flag) break;
        if (flag == field.flag || (field.alias && flag == field.alias) ||
            (field.type == FieldType::Words && flag == "words"))
            return &field;
    }
    return nullptr;
}

bool putWord(std::vector<uint8_t>& out, const FieldLayout& field, unsigned long long index, const std::string& value,
             std::string& error) {
    unsigned long long v = 0;
    if (index >= field.size / 4u) {
        error = "word index " + std::to_string(index) + " out of range 0.." + std::to_string(field.size / 4 - 1);
        return false;
    }
    if (!parseInteger(value, INT32_MIN, UINT32_MAX, v)) {
        error = "word value '" + value + "' is not a 32-bit number";
        return false;
    }
    putLe(out, field.offset + 4 * index, v, 4);
    return true;
}

bool applyWords(std::vector<uint8_t>& out, const FieldLayout& field, const std::string& flag, const std::string& value,
                std::string& error) {
    if (flag == "words") {
        size_t start = 0;
        for (unsigned long long index = 0;; index++) {
            size_t comma = value.find(',', start);
            if (!putWord(out, field, index, value.substr(start, comma - start), error)) return false;
            if (comma == std::string::npos) return true;
            start = comma + 1;
        }
    }
    size_t eq = value.find('=');
    unsigned long long index = 0;
    if (eq == std::string::npos || !parseInteger(value.substr(0, eq), 0, UINT32_MAX, index)) {
        error = "--word expects INDEX=VALUE, got '" + value + "'";
        return false;
    }
    return putWord(out, field, index, value.substr(eq + 1), error);
}

bool applyField(std::vector<uint8_t>& out, const FieldLayout& field, const std::string& flag, const std::string& value,
                std::string& error) {
    unsigned long long v = 0;
    switch (field.type) {
        case FieldType::U32:
            if (!parseInteger(value, INT32_MIN, UINT32_MAX, v)) {
                error = "--" + flag + " expects a 32-bit number, got '" + value + "'";
                return false;
            }
            putLe(out, field.offset, v, 4);
            return true;
        case FieldType::U64:
            if (!parseInteger(value, 0, UINT64_MAX, v)) {
                error = "--" + flag + " expects an unsigned 64-bit number, got '" + value + "'";
                return false;
            }
            putLe(out, field.offset, v, 8);
            return true;
        case FieldType::Text:
        case FieldType::TextTail:
            if (value.size() + 1 > field.size || memchr(value.data(), '\0', value.size())) {
                error = "--" + flag + " takes at most " + std::to_string(field.size - 1) + " characters";
                return false;
            }
            if (field.type == FieldType::TextTail) out.resize(field.offset + value.size() + 1, 0);
            memcpy(out.data() + field.offset, value.data(), value.size());
            return true;
        case FieldType::Words:
            return applyWords(out, field, flag, value, error);
    }
    return false;
}

}  // namespace

ArgFamily argFamilyOf(uint32_t commandId) {
    switch (commandId) {
        case ZTCONTROL_SET_SETTING_ID: return ArgFamily::SettingId;
        case ZTCONTROL_MODE_SUB_MODE: return ArgFamily::ModeSubMode;
        case ZTCONTROL_SYSTEM_BUTTON_SET: return ArgFamily::Button;
        case ZTCONTROL_GLINT_TAG_PLAYBACK: return ArgFamily::GlintTag;
        case ZTCONTROL_LIVEVIEW_MODE_SET: return ArgFamily::Liveview;
        case ZTCONTROL_WIFI_AP_SSID_CONFIG: return ArgFamily::ApSsidConfig;
        case ZTCONTROL_WIFI_SSID_SAVE:
        case ZTCONTROL_WIFI_SSID_SELECT: return ArgFamily::SsidEntry;
        case ZTCONTROL_MQ_PUSH_NOTIFICATIONS: return ArgFamily::MqPush;
        case ZTCONTROL_TRANSCODE_VIDEO_REQUEST: return ArgFamily::TranscodeVideo;
        case ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:
        case ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST: return ArgFamily::TranscodeShort;
        case ZTCONTROL_TRANSCODE_STATUS:
        case ZTCONTROL_TRANSCODE_CANCEL: return ArgFamily::TranscodeJob;
        default: return ArgFamily::None;
    }
}

const char* argFamilyHelp(ArgFamily family) {
    const FamilyLayout* layout = layoutOf(family);
    return layout ? layout->help : "";
}

bool isStructureFlag(const std::string& flag) {
    for (const auto& layout : kFamilies)
        if (findField(layout, flag)) return true;
    return false;
}

bool buildStructure(ArgFamily family, const FlagList& flags, std::vector<uint8_t>& out, std::string& error) {
    const FamilyLayout* layout = layoutOf(family);
    if (!layout) {
        error = "this command has no structure flags; use --hex for raw argument bytes";
        return false;
    }
    out.assign(layout->length, 0);
    for (const auto& field : layout->fields)
        if (field.flag && field.type == FieldType::U32) putLe(out, field.offset, field.defaultValue, 4);
    std::vector<const FieldLayout*> seen;
    for (const auto& [flag, value] : flags) {
        const FieldLayout* field = findField(*layout, flag);
        if (!field) {
            error = "--" + flag + " does not apply to this command";
            return false;
        }
        if (!applyField(out, *field, flag, value, error)) return false;
        seen.push_back(field);
    }
    for (const auto& field : layout->fields) {
        if (!field.flag) break;
        bool given = false;
        for (const FieldLayout* s : seen) given = given || s == &field;
        if (field.required && !given) {
            error = std::string("missing --") + field.flag;
            return false;
        }
    }
    return true;
}

bool buildArgument(uint32_t commandId, ZtArgKind kind, const ArgumentOptions& options, bool& hasArgument,
                   std::vector<uint8_t>& bytes, std::string& error) {
    hasArgument = false;
    bytes.clear();
    int forms = (int)options.scalars.size() + (options.structure.empty() ? 0 : 1) + (int)options.positionals.size();
    if (forms > 1) {
        error = "give the argument one way only: one value, one of --u8/--u16/--u32/--text/--hex, or the "
                "structure flags";
        return false;
    }
    if (forms == 0) return true;
    hasArgument = true;
    if (!options.structure.empty()) return buildStructure(argFamilyOf(commandId), options.structure, bytes, error);
    std::string form, value;
    if (!options.positionals.empty()) {
        value = options.positionals[0];
        switch (kind) {
            case ZT_ARG_U8: form = "u8"; break;
            case ZT_ARG_U16: form = "u16"; break;
            case ZT_ARG_U32: form = "u32"; break;
            case ZT_ARG_TEXT: form = "text"; break;
            case ZT_ARG_PROTOBUF: form = "proto"; break;
            default:
                if (argFamilyOf(commandId) == ArgFamily::TranscodeJob)
                    return buildStructure(ArgFamily::TranscodeJob, {{"job-id", value}}, bytes, error);
                error = "'" + value + "': this command takes no plain value; use --u8/--u16/--u32/--text/--hex" +
                        (argFamilyOf(commandId) != ArgFamily::None ? " or its structure flags" : "");
                return false;
        }
    } else {
        form = options.scalars[0].first;
        value = options.scalars[0].second;
    }
    if (form == "u8") return buildScalar(value, 1, bytes, error);
    if (form == "u16") return buildScalar(value, 2, bytes, error);
    if (form == "u32") return buildScalar(value, 4, bytes, error);
    if (form == "hex") return parseHexBytes(value, bytes, error);
    if (form == "proto") return buildPresetRequest(commandId, value, bytes, error);
    buildText(value, bytes);
    return true;
}

bool parseInteger(const std::string& text, long long min, unsigned long long max, unsigned long long& out) {
    const char* s = text.c_str();
    bool negative = s[0] == '-';
    if (!isdigit((unsigned char)s[negative ? 1 : 0])) return false;
    char* end = nullptr;
    errno = 0;
    if (negative) {
        long long v = strtoll(s, &end, 0);
        if (errno || *end || v < min) return false;
        out = (unsigned long long)v;
        return true;
    }
    unsigned long long v = strtoull(s, &end, 0);
    if (errno || *end || v > max || (min > 0 && v < (unsigned long long)min)) return false;
    out = v;
    return true;
}

bool buildScalar(const std::string& text, int width, std::vector<uint8_t>& out, std::string& error) {
    unsigned long long v = 0;
    long long min = width == 4 ? INT32_MIN : 0;
    unsigned long long max = width == 1 ? UINT8_MAX : width == 2 ? UINT16_MAX : UINT32_MAX;
    if (!parseInteger(text, min, max, v)) {
        error = "'" + text + "' is not a " + std::to_string(8 * width) + "-bit number";
        return false;
    }
    out.assign(width, 0);
    putLe(out, 0, v, width);
    return true;
}

void buildText(const std::string& text, std::vector<uint8_t>& out) {
    out.assign(text.begin(), text.end());
    out.push_back(0);
}

bool parseHexBytes(const std::string& text, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    int pending = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '-' || c == '\t') {
            if (pending >= 0) break;  // a separator inside a byte is an error, caught below
            continue;
        }
        int digit = isdigit((unsigned char)c) ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) {
            error = std::string("'") + c + "' is not a hex digit";
            return false;
        }
        if (pending < 0) {
            pending = digit;
        } else {
            out.push_back((uint8_t)(pending << 4 | digit));
            pending = -1;
        }
    }
    if (pending >= 0) {
        error = "hex bytes need two digits each";
        return false;
    }
    return true;
}

}  // namespace ztclient
