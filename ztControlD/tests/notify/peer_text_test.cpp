// Texts from peers: escaping for the log, and splitting a notification into objects that each fit
// one queue message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/notification_split.h"
#include "support/json_check.h"
#include "util/log_text.h"

namespace {

TEST(LogText, ControlCharactersAreEscapedAndTheTextIsBounded) {
    struct Case {
        std::string in;
        size_t length;
        std::string out;
    };
    const Case cases[] = {
        {"Home ~", 6, "Home ~"},
        {"a\nb\rc", 5, "a\\x0Ab\\x0Dc"},
        {std::string("x\x1b[2Jy\x7f", 7), 7, "x\\x1B[2Jy\\x7F"},
        {std::string("cut\0hidden", 10), 10, "cut"},
        {"Caf\xc3\xa9", 5, "Caf\xc3\xa9"},  // UTF-8 stays
        {"abcdef", 3, "abc"},
    };
    for (const Case& c : cases) EXPECT_EQ(LogText(c.in.data(), c.length).c_str(), c.out) << c.out;
    EXPECT_STREQ(LogText(nullptr).c_str(), "");
    EXPECT_EQ(std::string(LogText(std::string(2000, '\x01').c_str()).c_str()).size(), 508u);  // whole escapes only
}

std::vector<std::string> split(const std::string& json, size_t max) {
    std::vector<std::string> parts;
    EXPECT_TRUE(splitNotification(json, max, &parts)) << json;
    for (const std::string& part : parts) {
        EXPECT_TRUE(parseJson(part).is_object()) << part;
        EXPECT_LE(part.size(), max) << part;
    }
    return parts;
}

TEST(NotificationSplit, SectionsAreSharedOutInOrderAndEachPartIsAnObject) {
    const std::string full = "{\"status\":{\"1\":1,\"2\":\"a,}\\\"\",\"3\":[1,{\"x\":2}]},\n\"settings\":{\"4\":4}}";
    EXPECT_EQ(split(full, full.size()), std::vector<std::string>{
                                            "{\"status\":{\"1\":1,\"2\":\"a,}\\\"\",\"3\":[1,{\"x\":2}]},\n\"settings\":{\"4\":4}}"});
    EXPECT_EQ(split(full, 32), (std::vector<std::string>{"{\"status\":{\"1\":1,\"2\":\"a,}\\\"\"}}",
                                                         "{\"status\":{\"3\":[1,{\"x\":2}]}}", "{\"settings\":{\"4\":4}}"}));
    // A member that is no object travels whole, between the sections around it.
    EXPECT_EQ(split("{\"a\":{\"1\":1},\"state\":true,\"b\":{\"2\":2}}", 30),
              (std::vector<std::string>{"{\"a\":{\"1\":1},\n\"state\":true}", "{\"b\":{\"2\":2}}"}));
    EXPECT_TRUE(split("{}", 10).empty());
}

TEST(NotificationSplit, RefusesWhatItCannotSplit) {
    std::vector<std::string> parts;
    for (const char* bad : {"", "x", "{\"a\":{\"1\":1}", "{\"a\":{\"1\"}}", "{\"a\":{\"1\":1}} x", "{\"a\":\"unterminated}",
                            "[1,2]", "{\"a\":{\"1\":1,}}"})
        EXPECT_FALSE(splitNotification(bad, 100, &parts)) << bad;
    EXPECT_FALSE(splitNotification("{\"a\":{\"1\":\"" + std::string(100, 'v') + "\"}}", 50, &parts));
}

}  // namespace
