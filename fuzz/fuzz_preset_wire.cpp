// The preset data the daemon takes from outside: client requests (protobuf, any bytes) and the
// camera's preset records and id lists. Requests that parse serialize back to what parses the
// same; every record gives a well-formed client message with at most four captioned settings; an
// id list is never read past the bytes it came in.
//   byte 0: selector (request type, or lens mode and model for a record); the rest: the bytes
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_support.h"
#include "presets/preset_loader.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using namespace ztcontrol::presets;

template <typename Request>
void checkRequest(const uint8_t* data, size_t size)
{
    Request request;
    if (!request.ParseFromArray(data, (int)size))
        return;
    const std::string again = request.SerializeAsString();
    Request back;
    FUZZ_CHECK(back.ParseFromString(again));
    FUZZ_CHECK(back.SerializeAsString() == again);
}

void checkAnyRequest(uint8_t selector, const uint8_t* data, size_t size)
{
    switch (selector % 10) {
        case 0: return checkRequest<ZTC_Preset_List_Req>(data, size);
        case 1: return checkRequest<ZTC_Preset_Info_Req>(data, size);
        case 2: return checkRequest<ZTC_Preset_Custom_Create_Req>(data, size);
        case 3: return checkRequest<ZTC_Preset_Custom_Remove_Req>(data, size);
        case 4: return checkRequest<ZTC_Preset_Set_Order_Req>(data, size);
        case 5: return checkRequest<ZTC_Preset_Load_Req>(data, size);
        case 6: return checkRequest<ZTC_Preset_Edit_Start_Req>(data, size);
        case 7: return checkRequest<ZTC_Preset_Factory_Reset_Req>(data, size);
        case 8: return checkRequest<ZTC_Preset_Switch_Flatmode_Req>(data, size);
        default: return checkRequest<ZTC_Preset_Set_Title_Icon_Req>(data, size);
    }
}

// Global, so that ASan puts red zones right after the record.
uint8_t g_record[PRESET_RECORD_SIZE];

void checkRecord(uint8_t selector, const uint8_t* data, size_t size)
{
    memset(g_record, 0, sizeof g_record);
    memcpy(g_record, data, size < sizeof g_record ? size : sizeof g_record);
    const uint8_t models[] = {50, 51, 55, 0};
    wsdk_commands::WSDK_Preset preset;
    preset.set_id((int32_t)((uint32_t)g_record[2] | (uint32_t)g_record[3] << 8 | (uint32_t)g_record[4] << 16));
    presetRecordToWsdk(g_record, &preset, selector & 1, models[(selector >> 1) & 3]);
    FUZZ_CHECK(preset.setting_array_size() <= 4);
    for (const auto& s : preset.setting_array())
        FUZZ_CHECK(s.is_caption() && (s.value() == 3601 || (s.value() >= -128 && s.value() <= 127)));
    wsdk_commands::WSDK_Preset back;
    FUZZ_CHECK(back.ParseFromString(preset.SerializeAsString()));
    FUZZ_CHECK(back.setting_array_size() == preset.setting_array_size());
}

uint8_t g_list[256 * 4 + 1];

void checkIdList(const uint8_t* data, size_t size)
{
    const size_t n = size < sizeof g_list ? size : sizeof g_list;
    memcpy(g_list, data, n);
    PresetIdList list;
    if (!readPresetIdList(g_list, (uint16_t)n, &list))
        return;
    FUZZ_CHECK(n >= 1 + 4 * (size_t)list.count);
    for (uint8_t i = 0; i < list.count; ++i)
        FUZZ_CHECK(list.ids[i] == ((uint32_t)g_list[1 + 4 * i] | (uint32_t)g_list[2 + 4 * i] << 8 |
                                   (uint32_t)g_list[3 + 4 * i] << 16 | (uint32_t)g_list[4 + 4 * i] << 24));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = fuzzSilenceLogs();
    (void)silenced;
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    checkAnyRequest(selector, data + 1, size - 1);
    checkRecord(selector, data + 1, size - 1);
    checkIdList(data + 1, size - 1);
    return 0;
}
