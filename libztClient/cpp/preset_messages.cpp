#include "preset_messages.h"

#include <google/protobuf/dynamic_message.h>
#include <google/protobuf/io/tokenizer.h>
#include <google/protobuf/text_format.h>
#include <google/protobuf/util/json_util.h>

#include <memory>

#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_commands.h"

namespace ztclient {

namespace {

namespace pb = google::protobuf;
using namespace ztcontrol::presets;

std::unique_ptr<pb::Message> newMessage(const pb::Descriptor* type) {
    return std::unique_ptr<pb::Message>(pb::MessageFactory::generated_factory()->GetPrototype(type)->New());
}

// Keeps the first parse error with its position.
class FirstError : public pb::io::ErrorCollector {
public:
    void AddError(int line, int column, const std::string& message) override {
        if (text.empty()) text = "line " + std::to_string(line + 1) + ", column " + std::to_string(column + 1) + ": " + message;
    }
    std::string text;
};

}  // namespace

const pb::Descriptor* presetRequestType(uint32_t commandId) {
    switch (commandId) {
        case ZTCONTROL_PRESET_LIST: return ZTC_Preset_List_Req::descriptor();
        case ZTCONTROL_PRESET_INFO: return ZTC_Preset_Info_Req::descriptor();
        case ZTCONTROL_PRESET_CUSTOM_CREATE: return ZTC_Preset_Custom_Create_Req::descriptor();
        case ZTCONTROL_PRESET_CUSTOM_REMOVE: return ZTC_Preset_Custom_Remove_Req::descriptor();
        case ZTCONTROL_PRESET_SET_ORDER: return ZTC_Preset_Set_Order_Req::descriptor();
        case ZTCONTROL_PRESET_LOAD: return ZTC_Preset_Load_Req::descriptor();
        case ZTCONTROL_PRESET_EDIT_START: return ZTC_Preset_Edit_Start_Req::descriptor();
        case ZTCONTROL_PRESET_FACTORY_RESET: return ZTC_Preset_Factory_Reset_Req::descriptor();
        case ZTCONTROL_PRESET_SWITCH_FLATMODE: return ZTC_Preset_Switch_Flatmode_Req::descriptor();
        case ZTCONTROL_PRESET_SET_TITLE_ICON: return ZTC_Preset_Set_Title_Icon_Req::descriptor();
        default: return nullptr;
    }
}

const pb::Descriptor* presetAnswerType(uint32_t commandId) {
    switch (commandId) {
        case ZTCONTROL_PRESET_GROUP_LIST: return ZTC_Preset_Group_List_Resp::descriptor();
        case ZTCONTROL_PRESET_LIST: return ZTC_Preset_List_Resp::descriptor();
        case ZTCONTROL_PRESET_INFO: return wsdk_commands::WSDK_Preset::descriptor();
        case ZTCONTROL_PRESET_CUSTOM_CREATE: return wsdk_commands::WSDK_ResponseCreateCustomPreset::descriptor();
        case ZTCONTROL_PRESET_GET_PRESETS: return wsdk_commands::WSDK_NotifyPresetStatus::descriptor();
        default: return nullptr;
    }
}

const char* presetRequestExample(uint32_t commandId) {
    switch (commandId) {
        case ZTCONTROL_PRESET_LIST: return "group_id: 1000";
        case ZTCONTROL_PRESET_CUSTOM_CREATE:
            return "group_id: 1000 flat_mode: 12 preset_icon: 20 preset_name: 20 preset_name_iterator: 0";
        case ZTCONTROL_PRESET_SET_ORDER: return "preset_id: 4 order: 0";
        case ZTCONTROL_PRESET_SWITCH_FLATMODE: return "flat_mode: 15";
        case ZTCONTROL_PRESET_SET_TITLE_ICON: return "preset_name: 21 preset_icon: 21";
        default: return presetRequestType(commandId) ? "preset_id: 65537" : "";
    }
}

bool buildPresetRequest(uint32_t commandId, const std::string& text, std::vector<uint8_t>& out,
                        std::string& error) {
    const pb::Descriptor* type = presetRequestType(commandId);
    if (!type) {
        error = "this command takes no protobuf request";
        return false;
    }
    std::unique_ptr<pb::Message> request = newMessage(type);
    FirstError errors;
    pb::TextFormat::Parser parser;
    parser.RecordErrorsTo(&errors);
    if (!parser.ParseFromString(text, request.get())) {
        error = "not a " + type->name() + " in text format (" + errors.text + ")";
        return false;
    }
    std::string bytes;
    request->SerializeToString(&bytes);
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool decodePresetAnswer(uint32_t commandId, const uint8_t* data, size_t length, std::string& text,
                        std::string& json) {
    const pb::Descriptor* type = presetAnswerType(commandId);
    if (!type || length > (size_t)INT32_MAX) return false;
    std::unique_ptr<pb::Message> answer = newMessage(type);
    if (!answer->ParseFromArray(data, (int)length)) return false;
    pb::TextFormat::PrintToString(*answer, &text);
    pb::util::JsonPrintOptions options;
    options.preserve_proto_field_names = true;
    json.clear();
    return pb::util::MessageToJsonString(*answer, &json, options).ok();
}

}  // namespace ztclient
