// The settings library's JSON writers on the 624-byte camera record: change serializers with a
// few changes and with none (what every poll runs), and the full-state writers (what a new client
// gets once). BM_PollCompare models the comparison part of one poll with no change: the daemon's
// four text streams, the group-1 status and settings comparisons, and the snapshot copy.
#include <benchmark/benchmark.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "csi_settings.h"
#include "csi_tables.h"

namespace {

const uint8_t kModel = 55;

struct Records {
    all_status_settings_t previous;
    all_status_settings_t current;
    std::vector<std::string> bossCache;
};

// Small values everywhere, like an idle camera's blocks.
void fill(all_status_settings_t* r)
{
    uint8_t* bytes = reinterpret_cast<uint8_t*>(r);
    for (size_t i = 0; i < sizeof *r; ++i)
        bytes[i] = static_cast<uint8_t>(i % 7);
}

// Changes the first `count` status items of the group (group 0: settings rows) in `current`.
void change(Records* r, int group, int count)
{
    if (group == 0) {
        const csi_setting_row_t* rows = csi::settingRows(kModel);
        for (int id = 0; id < csi::kSettingRows && count > 0; ++id) {
            if (rows[id][CSI_ROW_WIDTH] == 0 || rows[id][CSI_ROW_JSON_ID] != rows[id][CSI_ROW_SETTING_ID] ||
                rows[id][CSI_ROW_BLOCK] != 0)
                continue;
            r->current.settings.bytes[rows[id][CSI_ROW_OFFSET]] ^= 1;
            --count;
        }
        return;
    }
    size_t n = 0;
    const csi::StatusItem* items = csi::statusItems(&n);
    for (size_t i = 0; i < n && count > 0; ++i) {
        if (items[i].group != group || !csi::onModel(items[i].models, kModel))
            continue;
        r->current.status.bytes[items[i].offset] ^= 1;
        --count;
    }
}

// The same records for every benchmark: `changes` items differ in each group and in settings.
Records& records(int changes)
{
    static Records sets[2];
    Records& r = sets[changes ? 1 : 0];
    if (r.bossCache.empty()) {
        fill(&r.previous);
        r.current = r.previous;
        for (int group = 0; group <= 2; ++group)
            change(&r, group, changes);
        camera_status_init_bossCache(kModel, r.bossCache);
    }
    return r;
}

const int kFewChanges = 3;

void BM_Json_StatusChanges(benchmark::State& state)
{
    const int group = static_cast<int>(state.range(0));
    Records& r = records(static_cast<int>(state.range(1)));
    int members = 0;
    size_t length = 0;
    for (auto _ : state) {
        std::stringstream out;
        members = camera_status_serialize_status_changes_to_json(out, group, &r.current, &r.previous, kModel,
                                                                 r.bossCache);
        length = out.tellp();
        benchmark::DoNotOptimize(members);
    }
    state.counters["members"] = members;
    state.counters["chars"] = static_cast<double>(length);
}
BENCHMARK(BM_Json_StatusChanges)->ArgNames({"group", "changes"})->ArgsProduct({{1, 2}, {0, kFewChanges}});

void BM_Json_SettingsChanges(benchmark::State& state)
{
    Records& r = records(static_cast<int>(state.range(0)));
    int members = 0;
    size_t length = 0;
    for (auto _ : state) {
        std::stringstream out;
        members = camera_status_serialize_settings_changes_to_json(out, &r.current, &r.previous, kModel);
        length = out.tellp();
        benchmark::DoNotOptimize(members);
    }
    state.counters["members"] = members;
    state.counters["chars"] = static_cast<double>(length);
}
BENCHMARK(BM_Json_SettingsChanges)->ArgName("changes")->Arg(0)->Arg(kFewChanges);

// The full-state text a client gets once: "{" status ",\n" settings "}".
void BM_Json_FullState(benchmark::State& state)
{
    const all_status_settings_t& record = records(0).previous;
    size_t length = 0;
    for (auto _ : state) {
        std::stringstream out;
        out << '{';
        camera_status_serialize_status_to_json(out, &record, kModel);
        out << ",\n";
        camera_settings_serialize_to_json(out, &record.settings, &record.status, &record.system, kModel);
        out << '}';
        length = out.tellp();
        benchmark::DoNotOptimize(length);
    }
    state.counters["chars"] = static_cast<double>(length);
}
BENCHMARK(BM_Json_FullState);

// One poll's comparison with nothing changed; group 2 is compared on every other poll at most
// (once a second, polls every half second), so it is an argument.
void BM_PollCompare_NoChanges(benchmark::State& state)
{
    const bool withGroup2 = state.range(0) != 0;
    Records& r = records(0);
    all_status_settings_t lastSnapshot = r.previous;
    all_status_settings_t throttledSnapshot = r.previous;
    all_status_settings_t current = r.previous;
    for (auto _ : state) {
        std::stringstream group2, group1, settings, body;
        int count = 0;
        if (withGroup2) {
            count += camera_status_serialize_status_changes_to_json(group2, 2, &current, &throttledSnapshot, kModel,
                                                                    r.bossCache);
            throttledSnapshot = current;
        }
        count += camera_status_serialize_status_changes_to_json(group1, 1, &current, &lastSnapshot, kModel,
                                                                r.bossCache);
        count += camera_status_serialize_settings_changes_to_json(settings, &current, &lastSnapshot, kModel);
        lastSnapshot = current;
        if (count != 0) {
            benchFail(state, "records differ");
            break;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PollCompare_NoChanges)->ArgName("group2")->Arg(0)->Arg(1);

}  // namespace
