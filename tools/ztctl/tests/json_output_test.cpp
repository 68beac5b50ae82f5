// JSON output: quoting, decoded trees, the result object for every command and payload shape,
// and the indenter used by watch.
#include <gmock/gmock.h>
#include <string.h>

#include <algorithm>
#include <random>

#include "json.h"
#include "output.h"
#include "support.h"

using namespace ztctl;
using ::testing::HasSubstr;
using ztctl_test::isValidJson;

// Quoting escapes everything that is not printable ASCII. The decoders' tests render every other
// node kind; the widest numbers are here.
TEST(JsonOutput, QuotedTextAndWidestIntegers) {
    EXPECT_EQ(jsonQuote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonQuote(std::string("\n\t\x01\x7f\xff", 5)), "\"\\n\\t\\u0001\\u007f\\u00ff\"");
    EXPECT_TRUE(isValidJson(jsonQuote(std::string("\0\x80\"\r", 4))));
    Node root = Node::object("");
    root.add(Node::integer("neg", -9223372036854775807ll - 1));
    root.add(Node::unsignedInt("big", 18446744073709551615ull));
    std::string out;
    appendJson(out, root);
    EXPECT_EQ(out, "{\"neg\":-9223372036854775808,\"big\":18446744073709551615}");
}

TEST(JsonOutput, ResultObjectIsValidForEveryCommandAndPayloadShape) {
    std::mt19937 rng(7);
    const size_t sizes[] = {0, 1, 3, 4, 5, 237, 238, 257, 384, 492, 552, 624, 1104, 1400};
    for (uint32_t id = 0; id <= 90; id++) {
        for (size_t size : sizes) {
            Response r{(int32_t)(rng() % 300) - 150, size > 0, Bytes(size)};
            for (auto& b : r.payload) b = (uint8_t)rng();
            const ZtcontrolCommandInfo* info = ztcontrolCommandById(id);
            std::string json = renderResultJson(id, info, r);
            ASSERT_TRUE(isValidJson(json)) << id << " " << size << "\n" << json;
            EXPECT_FALSE(renderResultText(id, info, r).empty());
        }
    }
}

TEST(JsonOutput, ResultFailureAndTextForms) {
    Response r{-104, true, {7, 0, 0, 0}};
    EXPECT_EQ(renderResultJson(ZTCONTROL_WIFI_SSID_SCAN, ztcontrolCommandById(ZTCONTROL_WIFI_SSID_SCAN), r),
              "{\"id\":19,\"name\":\"ZTCONTROL_WIFI_SSID_SCAN\",\"result\":-104,\"result_name\":"
              "\"ZT_ERR_NOT_SUPPORTED\",\"payload_length\":4,\"payload_hex\":\"07000000\",\"payload_kind\":"
              "\"scan id\",\"decoded\":{\"scan_id\":7}}\n");
    EXPECT_EQ(
        renderFailureJson(45, nullptr, "no_response", "no \"answer\""),
        "{\"id\":45,\"name\":\"UNASSIGNED\",\"error\":\"no_response\",\"detail\":\"no \\\"answer\\\"\"}\n");

    // Text: the result's name, and hex for a payload of no known kind.
    r.result = -3;
    r.payload = {0xde, 0xad, 0xbe, 0xef, 0x01};
    std::string text = renderResultText(45, nullptr, r);
    EXPECT_THAT(text, HasSubstr("UNASSIGNED (45): result -3 ZT_ERR_INVALID_PARAM\npayload: 5 bytes\n"));
    EXPECT_THAT(text, HasSubstr("DE AD BE EF"));
    EXPECT_EQ(hexString(r.payload.data(), r.payload.size()), "deadbeef01");
}

TEST(JsonIndent, IndentingKeepsTheDocument) {
    // Blanks, escaped quotes and backslashes inside a string stay as they are. The documents
    // below have no blanks inside strings, so dropping every blank must give back the input.
    EXPECT_EQ(indentJson("{\"a\":\"\\\" {y},\\\\\",\"b\":{},\"c\":[1,[]]}"),
              "{\n  \"a\": \"\\\" {y},\\\\\",\n  \"b\": {},\n  \"c\": [\n    1,\n    []\n  ]\n}");
    for (std::string doc :
         {"{\"status\":{\"8\":1,\"10\":[1,2,{}],\"s\":\"a,b{c}:\\\"d\"},\"settings\":{}}", "[]",
          "[[[]],{\"a\":[]}]", "{\"k\":\"\\\\\",\"j\":-1.5e3,\"t\":true,\"n\":null}"}) {
        std::string pretty = indentJson(doc);
        EXPECT_TRUE(isValidJson(pretty)) << pretty;
        pretty.erase(
            std::remove_if(pretty.begin(), pretty.end(), [](char c) { return c == ' ' || c == '\n'; }),
            pretty.end());
        EXPECT_EQ(pretty, doc);
    }
}

TEST(JsonIndent, MalformedInputIsReformattedWithoutHarm) {
    for (const char* bad : {"}}}]]", "{\"unterminated", "\"\\", "{{{{{{", ",,,:", ""})
        EXPECT_LE(indentJson(bad).size(), 64u * (strlen(bad) + 1));
    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        std::string junk(rng() % 64, ' ');
        for (char& c : junk) c = "{}[],:\"\\ a1"[rng() % 11];
        indentJson(junk);
    }
}
