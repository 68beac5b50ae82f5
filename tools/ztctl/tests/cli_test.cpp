// Command names and the command line.
#include "cli.h"

#include <gmock/gmock.h>

#include <tuple>

using namespace ztctl;
using ::testing::HasSubstr;

TEST(CommandLookup, IdsFullAndShortNames) {
    // Word, the id it names (-1: none), whether the id is assigned.
    const std::tuple<const char*, long long, bool> rows[] = {
        {"3", 3, true},
        {"ZTCONTROL_COMMAND_SHUTTER", 3, true},
        {"shutter", 3, true},
        {"45", 45, false},
        {"90", 90, false},
        {"4294967295", 4294967295, false},
        {"4294967296", -1, false},
        {"Shutter", -1, false},
        {"shutter2", -1, false},
        {"", -1, false},
    };
    for (const auto& [word, expected, assigned] : rows) {
        uint32_t id = 0;
        const ZtcontrolCommandInfo* info = nullptr;
        bool ok = resolveCommand(word, id, info);
        EXPECT_EQ(ok ? (long long)id : -1, expected) << word;
        EXPECT_EQ(ok && info, assigned) << word;
        EXPECT_TRUE(!info || info->id == id) << word;
    }
}

TEST(CommandLine, OptionsAnywhere) {
    Invocation inv, text, watch, sim;
    std::string error;
    ASSERT_TRUE(parseInvocation({"set-setting-id", "--id", "2", "--json", "--value=-1", "--timeout", "0.5"},
                                inv, error));
    EXPECT_EQ(inv.mode, Mode::Device);
    EXPECT_TRUE(inv.json);
    EXPECT_DOUBLE_EQ(inv.timeoutSeconds, 0.5);
    EXPECT_EQ(inv.mailbox, "/to_ztCtlD");
    EXPECT_EQ(inv.argument.structure, (FlagList{{"id", "2"}, {"value", "-1"}}));

    ASSERT_TRUE(
        parseInvocation({"delete", "--text", "--json"}, text, error));  // a value may look like an option
    EXPECT_FALSE(text.json);
    EXPECT_EQ(text.argument.scalars, (FlagList{{"text", "--json"}}));

    ASSERT_TRUE(parseInvocation(
        {"--raw", "watch", "--host", "::1", "--port=9000", "--count", "3", "--no-subscribe"}, watch, error));
    EXPECT_EQ(watch.mode, Mode::Watch);
    EXPECT_TRUE(watch.watch.raw);
    EXPECT_EQ(watch.watch.host, "::1");
    EXPECT_EQ(watch.watch.port, 9000);
    EXPECT_EQ(watch.watch.count, 3);
    EXPECT_FALSE(watch.watch.subscribe);

    // Every word after "sim" but a leading --socket is the simulator's.
    ASSERT_TRUE(parseInvocation({"--timeout", "2", "sim", "--socket", "/tmp/s", "fault", "--json", "off"},
                                sim, error));
    EXPECT_EQ(sim.mode, Mode::Sim);
    EXPECT_EQ(sim.sim.socketPath, "/tmp/s");
    EXPECT_EQ(sim.sim.words, (std::vector<std::string>{"fault", "--json", "off"}));
    EXPECT_FALSE(sim.json);
}

TEST(CommandLine, Refusals) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"shutter", "--bogus", "1"}, "unknown option --bogus"},
        {{"shutter", "--u8"}, "needs a value"},
        {{"shutter", "--timeout", "0"}, "--timeout"},
        {{"shutter", "--timeout", "abc"}, "--timeout"},
        {{"shutter", "--count", "2"}, "applies to watch only"},
        {{"shutter", "--raw"}, "applies to watch only"},
        {{"--json=1", "shutter"}, "takes no value"},
        {{"list", "--u8", "1"}, "takes no command argument"},
        {{"watch", "extra"}, "takes no command argument"},
        {{"watch", "--port", "70000"}, "--port"},
        {{"watch", "--count", "0"}, "--count"},
    };
    for (const auto& [args, expected] : cases) {
        Invocation inv;
        std::string error;
        EXPECT_FALSE(parseInvocation(args, inv, error)) << expected;
        EXPECT_THAT(error, HasSubstr(expected));
    }
}
