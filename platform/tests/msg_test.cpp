// Message classes: byte format, refusal of the TLV event categories, accessors and reader limits.
// Random and damaged input to the reader is fuzz_msg's (its seeds run with the suite).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ztLog.h"
#include "zt_msg_classes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes serialize(const Msg& msg, size_t capacity = 1500) {
    Bytes buf(capacity, 0xAA);
    MemStream out(buf.data(), buf.size());
    out << msg;
    buf.resize(out.failed() ? 0 : out.getLength());
    return buf;
}

// Parses from an exactly sized heap copy, so that ASan sees any read past the input.
bool parse(Msg& msg, const Bytes& input, size_t* length = nullptr) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + !input.size()]);
    std::copy(input.begin(), input.end(), exact.get());
    MemStream in(exact.get(), input.size());
    in >> msg;
    if (length) *length = in.getLength();
    return !in.failed();
}

TEST(MsgFormat, ResponseSerializesToDocumentedBytes) {
    const int32_t result = -3;
    MsgElement rc(ZT_TAG_RESULT, 4, &result), payload(ZT_TAG_PAYLOAD, 3, "ab"), end(ZT_TAG_END);
    Msg msg(ZT_MSG_CATEGORY);
    msg.setMsgType(ZT_MSG_TYPE_RESPONSE);
    for (MsgElement* e : {&rc, &payload, &end}) msg.addElement(e);
    const Bytes expected = {0,   20, 21, 20,                      // length 20, type, category
                            236, 0,  4,  0xFD, 0xFF, 0xFF, 0xFF,  // result, host order
                            69,  0,  3,  'a',  'b',  0,           // payload with its NUL
                            238, 0,  0};                          // end
    EXPECT_EQ(serialize(msg), expected);
    EXPECT_EQ(msg.getSize(), expected.size());

    payload.setData("xyz", 4);  // elements are referred to until written
    EXPECT_EQ(serialize(msg)[16], 'z');

    Msg read(0);
    ASSERT_TRUE(parse(read, serialize(msg)));
    EXPECT_EQ(read.getCategory(), ZT_MSG_CATEGORY);
    EXPECT_EQ(read.getMsgType(), ZT_MSG_TYPE_RESPONSE);
    ASSERT_EQ(read.elementCount(), 3u);
    EXPECT_EQ(read.elementAt(1)->getTag(), ZT_TAG_PAYLOAD);
    EXPECT_STREQ(reinterpret_cast<const char*>(read.findElement(ZT_TAG_PAYLOAD)->getData()), "xyz");
    EXPECT_EQ(read.findElement(ZT_TAG_COMMAND), nullptr);
}

TEST(MsgFormat, WriterRefusesTlvEventCategoriesAndMessagesThatDoNotFit) {
    MsgElement end(ZT_TAG_END);
    for (int category : {0, 9, 10, 11, 15, 16, 17, 18, 19, 255}) {
        const bool refused = category == 10 || (category >= 16 && category <= 18);
        Msg msg(static_cast<uint8_t>(category));
        msg.addElement(&end);
        Bytes buf(64, 0xAA);
        MemStream out(buf.data(), buf.size());
        out << msg;
        EXPECT_EQ(out.failed(), refused) << category;
        EXPECT_EQ(out.getLength(), refused ? 0u : 7u) << category;
        if (refused) {
            EXPECT_EQ(buf, Bytes(64, 0xAA)) << "category " << category << " wrote bytes";
        }
    }
    const Bytes big(100, 1);
    MsgElement e(ZT_TAG_PAYLOAD, static_cast<uint16_t>(big.size()), big.data());
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&e);
    EXPECT_TRUE(serialize(msg, 106).empty());
    EXPECT_EQ(serialize(msg, 107).size(), 107u);
    MemStream none(nullptr, 100);
    none << msg;
    EXPECT_TRUE(none.failed());
}

// Which getters answer for which lengths is fuzz_msg's; here the byte order and the storage reuse.
TEST(MsgElementValues, LittleEndianAndStorageReused) {
    const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    MsgElement word(ZT_TAG_ARGUMENT, 4, data);
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    ASSERT_TRUE(word.getValue16(v16) && word.getValue32(v32));
    EXPECT_EQ(v16, 0x0201);
    EXPECT_EQ(v32, 0x04030201u);
    EXPECT_FALSE(MsgElement(ZT_TAG_ARGUMENT, 3, data).getValue32(v32));
    EXPECT_EQ(v32, 0x04030201u) << "untouched on refusal";
    MsgElement e(ZT_TAG_PAYLOAD, 10, "0123456789");
    const uint8_t* before = e.getData();
    e.setData("ab", 2);
    EXPECT_EQ(e.getData(), before);
    EXPECT_EQ(e.getLength(), 2);
    e.setData(nullptr, 5);
    EXPECT_EQ(e.getLength(), 0);
    EXPECT_EQ(e.getData(), nullptr);
    EXPECT_EQ(MsgElement(ZT_TAG_END).getData(), nullptr);
}

TEST(MsgReader, MalformedInputKeepsWholeElementsAndFails) {
    Bytes tooMany = {0, 0, 0, 20};
    for (int i = 0; i < 100; ++i) tooMany.insert(tooMany.end(), {69, 0, 0});
    tooMany[0] = static_cast<uint8_t>(tooMany.size() >> 8);
    tooMany[1] = static_cast<uint8_t>(tooMany.size());
    const struct {
        const char* what;
        Bytes bytes;
        bool ok;
        size_t elements;
    } rows[] = {
        {"second element cut", {0, 14, 0, 20, 65, 0, 1, 9, 66, 0, 3, 'x'}, false, 1},
        {"declared length bounds the parse", {0, 8, 0, 20, 65, 0, 1, 9, 66, 0, 1, 5}, true, 1},
        {"element length lies", {0, 12, 0, 20, 65, 0, 1, 9, 66, 0xFF, 0xFF, 1}, false, 1},
        {"empty", {}, false, 0},
        {"short header", {0, 4, 0}, false, 0},
        {"declared under the header", {0, 2, 0, 20, 65, 0, 0}, false, 0},
        {"leftover bytes", {0, 6, 0, 20, 65, 0}, false, 0},
        {"no elements", {0, 4, 21, 20}, true, 0},
        {"too many elements", tooMany, false, 64},
    };
    for (const auto& row : rows) {
        Msg msg(0);
        size_t length = 0;
        EXPECT_EQ(parse(msg, row.bytes, &length), row.ok) << row.what;
        EXPECT_EQ(msg.elementCount(), row.elements) << row.what;
        if (row.bytes.size() >= 4) {
            EXPECT_EQ(msg.getCategory(), 20) << row.what;
        }
        if (row.ok) {
            EXPECT_EQ(length, row.bytes[1]) << row.what;
        }
    }
}

TEST(MsgReader, ReusesItsElementsAcrossParses) {
    Msg msg(20);
    ASSERT_TRUE(parse(msg, {0, 14, 0, 20, 65, 0, 4, 1, 0, 0, 0, 238, 0, 0}));
    const MsgElement* e0 = msg.elementAt(0);
    const MsgElement* e1 = msg.elementAt(1);
    ASSERT_TRUE(parse(msg, {0, 12, 0, 20, 66, 0, 2, 7, 7, 68, 0, 0}));
    ASSERT_EQ(msg.elementCount(), 2u);
    EXPECT_EQ(msg.elementAt(0), e0);
    EXPECT_EQ(msg.elementAt(1), e1);
    EXPECT_EQ(msg.elementAt(0)->getTag(), 66);
    EXPECT_EQ(msg.elementAt(1)->getTag(), 68);
    msg.clear();
    EXPECT_EQ(msg.elementCount(), 0u);
    EXPECT_EQ(msg.getCategory(), 20);
}

TEST(MsgDump, WritesThroughTheLevelLogAtDebugLevelOnly) {
    std::string log;  // only this thread logs here
    const int saved = g_logLevel;
    ztUtilSetLogSink(
        [](int level, const char* line, void* out) {
            *static_cast<std::string*>(out) += std::to_string(level) + " " + line + "\n";
        },
        &log);
    MsgElement e(ZT_TAG_PAYLOAD, 3, "hi");
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&e);
    g_logLevel = UTIL_LOG_ERROR;
    msg.dump("quiet");
    g_logLevel = UTIL_LOG_DEBUG;
    msg.dump("Msg From Client");
    g_logLevel = saved;
    ztUtilSetLogSink(nullptr, nullptr);
    EXPECT_EQ(log.find("quiet"), std::string::npos);
    EXPECT_NE(log.find("Msg From Client"), std::string::npos);
    EXPECT_NE(log.find("68 69 00"), std::string::npos);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("4 ", 0), 0u) << line;
}

}  // namespace
