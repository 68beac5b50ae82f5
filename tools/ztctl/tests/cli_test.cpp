// Command names and the command line.
#include <gtest/gtest.h>

#include "cli.h"

using namespace ztctl;

TEST(CommandLookup, IdFullNameAndShortNameAgree) {
    uint32_t id = 0;
    const ZtcontrolCommandInfo* info = nullptr;
    for (const char* word : {"3", "ZTCONTROL_COMMAND_SHUTTER", "shutter"}) {
        ASSERT_TRUE(resolveCommand(word, id, info)) << word;
        EXPECT_EQ(id, 3u);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->argKind, ZT_ARG_U8);
    }
    ASSERT_TRUE(resolveCommand("stop", id, info));
    EXPECT_EQ(id, 89u);
}

TEST(CommandLookup, UnassignedIdsResolveWithoutAnEntry) {
    uint32_t id = 0;
    const ZtcontrolCommandInfo* info = nullptr;
    for (uint32_t unassigned : {1u, 2u, 45u, 90u, 4294967295u}) {
        ASSERT_TRUE(resolveCommand(std::to_string(unassigned), id, info));
        EXPECT_EQ(id, unassigned);
        EXPECT_EQ(info, nullptr);
    }
    EXPECT_FALSE(resolveCommand("4294967296", id, info));
    EXPECT_FALSE(resolveCommand("Shutter", id, info));
    EXPECT_FALSE(resolveCommand("shutter2", id, info));
    EXPECT_FALSE(resolveCommand("", id, info));
}

TEST(CommandLine, GlobalOptionsAnywhereAndArgumentOptionsCollected) {
    Invocation inv;
    std::string error;
    ASSERT_TRUE(parseInvocation({"set-setting-id", "--id", "2", "--json", "--value=-1", "--timeout", "0.5"}, inv, error))
        << error;
    EXPECT_EQ(inv.mode, Mode::Device);
    EXPECT_TRUE(inv.json);
    EXPECT_DOUBLE_EQ(inv.timeoutSeconds, 0.5);
    EXPECT_EQ(inv.mailbox, "/to_ztCtlD");
    ASSERT_EQ(inv.argument.structure.size(), 2u);
    EXPECT_EQ(inv.argument.structure[1], (std::pair<std::string, std::string>{"value", "-1"}));
}

TEST(CommandLine, TextValuesMayLookLikeOptions) {
    Invocation inv;
    std::string error;
    ASSERT_TRUE(parseInvocation({"delete", "--text", "--json"}, inv, error));
    EXPECT_FALSE(inv.json);
    EXPECT_EQ(inv.argument.scalars[0].second, "--json");
}

TEST(CommandLine, Refusals) {
    struct Case {
        std::vector<std::string> args;
        const char* expect;
    } cases[] = {
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
    for (const Case& c : cases) {
        Invocation inv;
        std::string error;
        EXPECT_FALSE(parseInvocation(c.args, inv, error)) << c.args[0];
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }
}

TEST(CommandLine, WatchOptionsBeforeOrAfterTheWord) {
    Invocation inv;
    std::string error;
    ASSERT_TRUE(parseInvocation({"--raw", "watch", "--host", "::1", "--port=9000", "--count", "3", "--no-subscribe"},
                                inv, error))
        << error;
    EXPECT_EQ(inv.mode, Mode::Watch);
    EXPECT_TRUE(inv.watch.raw);
    EXPECT_EQ(inv.watch.host, "::1");
    EXPECT_EQ(inv.watch.port, 9000);
    EXPECT_EQ(inv.watch.count, 3);
    EXPECT_FALSE(inv.watch.subscribe);
}

TEST(CommandLine, SimTakesEveryWordAfterIt) {
    Invocation inv;
    std::string error;
    ASSERT_TRUE(parseInvocation({"--timeout", "2", "sim", "--socket", "/tmp/s", "fault", "--json", "off"}, inv, error));
    EXPECT_EQ(inv.mode, Mode::Sim);
    EXPECT_EQ(inv.sim.socketPath, "/tmp/s");
    EXPECT_EQ(inv.sim.words, (std::vector<std::string>{"fault", "--json", "off"}));
    EXPECT_FALSE(inv.json);
}

TEST(CommandLine, HelpForms) {
    Invocation inv;
    std::string error;
    ASSERT_TRUE(parseInvocation({"--help"}, inv, error));
    EXPECT_EQ(inv.mode, Mode::Usage);
    EXPECT_TRUE(inv.help);
    Invocation cmd;
    ASSERT_TRUE(parseInvocation({"wifi-ssid-select", "--help"}, cmd, error));
    EXPECT_EQ(cmd.mode, Mode::Device);
    EXPECT_TRUE(cmd.help);
    uint32_t id = 0;
    const ZtcontrolCommandInfo* info = nullptr;
    ASSERT_TRUE(resolveCommand(cmd.commandWord, id, info));
    std::string help = commandHelp(id, info);
    EXPECT_NE(help.find("--auth-type"), std::string::npos);
    EXPECT_NE(commandHelp(45, nullptr).find("unassigned"), std::string::npos);
}
