// The state document of the control channel: the simulated camera as people and tests read it.
#include "camera_layout.h"
#include "json_writer.h"
#include "sim_impl.h"

namespace camsim {

using namespace camlayout;

namespace {

const char* outcomeName(OpOutcome o) {
    switch (o) {
    case OpOutcome::Replied: return "replied";
    case OpOutcome::Delayed: return "delayed";
    case OpOutcome::Dropped: return "dropped";
    case OpOutcome::Malformed: return "malformed";
    case OpOutcome::Unanswerable: return "unanswerable";
    }
    return "?";
}

void writeOps(JsonWriter& w, const char* key, const std::vector<OpRecord>& ops) {
    w.beginArray(key);
    for (const OpRecord& r : ops) {
        w.beginObject()
            .num("index", (long long)r.index)
            .real("at", r.atSeconds)
            .num("category", r.category)
            .str("op", r.name())
            .num("seq", r.sequence)
            .str("payload", hexBytes(r.payload.data(), r.payload.size()))
            .str("reply_to", r.replyTo)
            .num("result", r.result)
            .num("nak", r.nak)
            .num("answer_len", r.answerLen)
            .str("outcome", outcomeName(r.outcome))
            .endObject();
    }
    w.endArray();
}

void writePresets(JsonWriter& w, const SimState& s) {
    w.beginArray("presets");
    for (int g = 0; g < kPresetGroups; ++g) {
        w.beginObject().num("group", g).beginArray("presets");
        for (const PresetInfo& p : s.presets) {
            if (p.group != g) continue;
            w.beginObject()
                .num("id", p.id)
                .num("flat_mode", p.flatMode)
                .boolean("user_defined", p.userDefined)
                .num("icon", p.icon)
                .num("title", p.title)
                .num("title_number", p.titleNumber)
                .boolean("edited", p.edited)
                .endObject();
        }
        w.endArray().endObject();
    }
    w.endArray();
}

void writeInts(JsonWriter& w, const char* key, const int* values, int count) {
    w.beginArray(key);
    for (int i = 0; i < count; ++i) w.num(nullptr, values[i]);
    w.endArray();
}

void writeControls(JsonWriter& w, const SimState& s) {
    w.beginObject("controls");
    writeInts(w, "iso_limit", s.isoLimit, 3);
    writeInts(w, "iso_min", s.isoMin, 3);
    writeInts(w, "onscreen", s.onscreen, 4);
    w.num("rushlapse_speed_1x", s.rushlapse[0])
        .num("rushlapse_speed_ramp", s.rushlapse[1])
        .num("rushlapse_speed_ramp_active", s.rushlapse[2])
        .num("audio_option", s.audioOption)
        .num("mic_option", s.micOption)
        .num("last_button", s.lastButton)
        .num("last_button_state", s.lastButtonState)
        .num("resolution_resets", s.resolutionResets)
        .num("highlights", s.highlights)
        .str("settings_payload", hexBytes(s.settingsPayload.data(), s.settingsPayload.size()))
        .endObject();
}

void writeFaults(JsonWriter& w, const Faults& f) {
    w.beginObject("faults").boolean("model_unreadable", f.modelUnreadable);
    w.beginArray("errors");
    for (const Faults::Rule& r : f.errors()) w.beginObject().str("op", r.op.describe()).num("errno", r.value).endObject();
    w.endArray().num("nak", f.nakReason()).boolean("nak_all", f.nakEvery());
    w.beginArray("noreply");
    for (const OpMatch& m : f.noReply()) w.str(nullptr, m.describe());
    w.endArray().beginArray("delays");
    for (const Faults::Rule& r : f.delays()) w.beginObject().str("op", r.op.describe()).num("ms", r.value).endObject();
    w.endArray().beginArray("cuts");
    for (const Faults::Rule& r : f.cuts()) w.beginObject().str("op", r.op.describe()).num("bytes", r.value).endObject();
    w.endArray().endObject();
}

}  // namespace

std::string CameraSim::Impl::opsJsonLocked(size_t max) const {
    JsonWriter w;
    writeOps(w, nullptr, ops.recent(max));
    return w.text();
}

std::string CameraSim::Impl::stateJsonLocked() const {
    SimState s;
    model.fill(s);
    const uint8_t* st = s.status;
    JsonWriter w;
    w.beginObject()
        .num("model", s.model)
        .str("power", s.powerOn ? "on" : s.asleep ? "asleep" : "off")
        .boolean("subscribed", s.subscribed)
        .num("flat_mode", s.flatMode())
        .num("mode_group", s.modeGroup());
    w.beginObject("current_presets")
        .num("video", s.statusWord(ST_VIDEO_PRESET))
        .num("photo", s.statusWord(ST_PHOTO_PRESET))
        .num("timelapse", s.statusWord(ST_TIMELAPSE_PRESET))
        .num("mode_group_6", s.statusWord(ST_SPECIAL_PRESET))
        .endObject();
    w.num("active_preset", s.activePreset())
        .beginObject("edit")
        .boolean("open", s.editOpen)
        .num("preset", s.editPreset)
        .num("preset_state", st[ST_PRESET_STATE])
        .endObject()
        .boolean("recording", s.recording())
        .boolean("encoding", st[ST_ENCODING] != 0)
        .num("recording_seconds", s.recordingSeconds())
        .num("zoom", s.zoom())
        .num("orientation", s.orientation)
        .num("stream_orientation", st[ST_STREAM_ORIENTATION])
        .num("lens_mode", s.lensMode)
        .num("lens", s.lens)
        .num("capture_delay", st[ST_CAPTURE_DELAY])
        .boolean("locate", st[ST_LOCATE] != 0)
        .num("voice_mode", st[ST_VOICE_MODE])
        .num("audio_accessory", st[ST_AUDIO_ACCESSORY])
        .num("liveview_exposure", st[ST_LIVEVIEW_EXPOSURE])
        .num("battery_percent", st[ST_BATTERY_PERCENT])
        .num("temperature_c", st[ST_TEMPERATURE_C])
        .boolean("sd_card", st[ST_SD_PRESENT] != 0)
        .num("media_count", s.mediaCount())
        .num("remaining_photos", s.statusWord(ST_REMAINING_PHOTOS))
        .num("remaining_video_s", s.statusWord(ST_REMAINING_VIDEO_S))
        .num("fw_update", st[ST_FW_UPDATE]);
    w.beginObject("wireless")
        .num("ap", s.apState)
        .str("ap_ssid", s.apSsid)
        .num("ble", st[ST_BLE_STATE])
        .num("band", st[ST_WIFI_BAND])
        .boolean("scanning", st[ST_SCAN_STATE] != 0)
        .boolean("pairing", st[ST_PAIRING] != 0)
        .str("network", s.wifiNetwork)
        .beginArray("saved_networks");
    for (const std::string& n : s.savedNetworks) w.str(nullptr, n);
    w.endArray().endObject();
    writeControls(w, s);
    writePresets(w, s);
    w.beginArray("transcode_jobs");
    for (const TranscodeJobInfo& j : s.jobs) {
        w.beginObject()
            .num("id", (long long)j.id)
            .str("source", j.source)
            .num("status", j.status)
            .num("progress", j.progress)
            .num("estimate", j.estimate)
            .str("output", j.output)
            .endObject();
    }
    w.endArray();
    if (s.hasCsiItem7) w.num("csi_item7", s.csiItem7);
    else w.null("csi_item7");
    writeFaults(w, faults);
    w.num("ops_received", (long long)ops.total());
    writeOps(w, "ops", ops.recent(20));
    w.endObject();
    return w.text();
}

}  // namespace camsim
