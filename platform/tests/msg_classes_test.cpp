// Message classes: byte format, refusal of the TLV event categories, accessors, reader limits.
#include <string.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "zt_msg_classes.h"
#include "ztLog.h"

namespace {

std::vector<uint8_t> serialize(const Msg& msg, size_t capacity = 1500)
{
    std::vector<uint8_t> buf(capacity, 0xAA);
    MemStream out(buf.data(), buf.size());
    out << msg;
    if (out.failed())
        return {};
    buf.resize(out.getLength());
    return buf;
}

TEST(MsgFormat, ResponseSerializesToDocumentedBytes)
{
    const int32_t result = -3;
    MsgElement rc(ZT_TAG_RESULT, 4, &result);
    MsgElement payload(ZT_TAG_PAYLOAD, 3, "ab");
    MsgElement end(ZT_TAG_END);
    Msg msg(ZT_MSG_CATEGORY);
    msg.setMsgType(ZT_MSG_TYPE_RESPONSE);
    msg.addElement(&rc);
    msg.addElement(&payload);
    msg.addElement(&end);

    const std::vector<uint8_t> bytes = serialize(msg);
    const std::vector<uint8_t> expected = {0, 20, 21, 20,                     // length 20, type, category
                                           236, 0, 4, 0xFD, 0xFF, 0xFF, 0xFF,  // result, host order
                                           69, 0, 3, 'a', 'b', 0,              // payload with its NUL
                                           238, 0, 0};                         // end
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(msg.getSize(), expected.size());
}

TEST(MsgFormat, RoundTripKeepsTypeCategoryAndElementsInOrder)
{
    const uint32_t id = 61;
    MsgElement cmd(ZT_TAG_COMMAND, 4, &id);
    MsgElement arg(ZT_TAG_ARGUMENT, 1, "\x07");
    MsgElement mbox(ZT_TAG_REPLY_MBOX, 8, "/client");
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&cmd);
    msg.addElement(&arg);
    msg.addElement(&mbox);
    std::vector<uint8_t> bytes = serialize(msg);
    ASSERT_FALSE(bytes.empty());

    Msg read(0);
    MemStream in(bytes.data(), bytes.size());
    in >> read;
    ASSERT_FALSE(in.failed());
    EXPECT_EQ(in.getLength(), bytes.size());
    EXPECT_EQ(read.getCategory(), ZT_MSG_CATEGORY);
    EXPECT_EQ(read.getMsgType(), ZT_MSG_TYPE_REQUEST);
    ASSERT_EQ(read.elementCount(), 3u);
    uint32_t gotId = 0;
    ASSERT_NE(read.findElement(ZT_TAG_COMMAND), nullptr);
    EXPECT_TRUE(read.findElement(ZT_TAG_COMMAND)->getValue32(gotId));
    EXPECT_EQ(gotId, 61u);
    EXPECT_STREQ(reinterpret_cast<const char*>(read.findElement(ZT_TAG_REPLY_MBOX)->getData()), "/client");
    EXPECT_EQ(read.elementAt(1)->getTag(), ZT_TAG_ARGUMENT);
    EXPECT_EQ(read.findElement(ZT_TAG_PAYLOAD), nullptr);
    EXPECT_EQ(serialize(read), bytes);
}

TEST(MsgFormat, AddedElementsAreReferredToUntilWritten)
{
    MsgElement text(ZT_TAG_PAYLOAD, 2, "a");
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&text);
    text.setData("xyz", 4);
    const std::vector<uint8_t> bytes = serialize(msg);
    ASSERT_EQ(bytes.size(), 4u + 3u + 4u);
    EXPECT_EQ(memcmp(bytes.data() + 7, "xyz", 4), 0);
}

TEST(MsgFormat, WriterRefusesTheTlvEventCategories)
{
    MsgElement end(ZT_TAG_END);
    for (uint8_t category : {10, 16, 17, 18}) {
        Msg msg(category);
        msg.addElement(&end);
        std::vector<uint8_t> buf(64, 0xAA);
        MemStream out(buf.data(), buf.size());
        out << msg;
        EXPECT_TRUE(out.failed()) << int(category);
        EXPECT_EQ(out.getLength(), 0u);
        EXPECT_EQ(buf, std::vector<uint8_t>(64, 0xAA)) << "category " << int(category) << " wrote bytes";
    }
    for (uint8_t category : {0, 9, 11, 15, 19, 20, 255}) {
        Msg msg(category);
        msg.addElement(&end);
        EXPECT_EQ(serialize(msg).size(), 7u) << int(category);
    }
}

TEST(MsgFormat, WriterFailsWithoutWritingWhenTheMessageDoesNotFit)
{
    std::vector<uint8_t> big(100, 1);
    MsgElement e(ZT_TAG_PAYLOAD, static_cast<uint16_t>(big.size()), big.data());
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&e);
    EXPECT_TRUE(serialize(msg, 106).empty());
    EXPECT_EQ(serialize(msg, 107).size(), 107u);
    MemStream none(nullptr, 100);
    none << msg;
    EXPECT_TRUE(none.failed());
}

TEST(MsgElementValues, AccessorsReadLittleEndianOnlyWhenLongEnough)
{
    const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    for (uint16_t length = 0; length <= 4; ++length) {
        MsgElement e(ZT_TAG_ARGUMENT, length, data);
        uint8_t v8 = 0xEE;
        uint16_t v16 = 0xEEEE;
        uint32_t v32 = 0xEEEEEEEE;
        EXPECT_EQ(e.getValue8(v8), length >= 1) << length;
        EXPECT_EQ(e.getValue16(v16), length >= 2) << length;
        EXPECT_EQ(e.getValue32(v32), length >= 4) << length;
        EXPECT_EQ(v8, length >= 1 ? 0x01 : 0xEE);
        EXPECT_EQ(v16, length >= 2 ? 0x0201 : 0xEEEE);
        EXPECT_EQ(v32, length >= 4 ? 0x04030201u : 0xEEEEEEEEu);
    }
}

TEST(MsgElementValues, ShrinkingKeepsStorageAndEmptyDataHasNoPointer)
{
    MsgElement e(ZT_TAG_PAYLOAD, 10, "0123456789");
    const uint8_t* before = e.getData();
    e.setData("ab", 2);
    EXPECT_EQ(e.getData(), before);
    EXPECT_EQ(e.getLength(), 2);
    e.setData(nullptr, 5);
    EXPECT_EQ(e.getLength(), 0);
    EXPECT_EQ(e.getData(), nullptr);
    MsgElement empty(ZT_TAG_END);
    EXPECT_EQ(empty.getData(), nullptr);
    EXPECT_EQ(empty.getLength(), 0);
}

struct Parsed {
    Msg msg{0};
    bool failed = false;
    size_t length = 0;
};

// Parses into a fresh Parsed; the pointer keeps the non-copyable message in place.
std::unique_ptr<Parsed> parse(std::vector<uint8_t> bytes)
{
    auto p = std::make_unique<Parsed>();
    MemStream in(bytes.data(), bytes.size());
    in >> p->msg;
    p->failed = in.failed();
    p->length = in.getLength();
    return p;
}

TEST(MsgReader, TruncatedStreamKeepsWholeElementsAndFails)
{
    // Declares 14 bytes but only 12 arrive: the second element is cut.
    auto p = parse({0, 14, 0, 20, 65, 0, 1, 9, 66, 0, 3, 'x'});
    EXPECT_TRUE(p->failed);
    ASSERT_EQ(p->msg.elementCount(), 1u);
    EXPECT_EQ(p->msg.elementAt(0)->getTag(), 65);
    EXPECT_EQ(p->msg.getCategory(), 20);
}

TEST(MsgReader, DeclaredLengthBoundsTheParse)
{
    // Declared 8: the element after byte 8 is not read even though the stream holds it.
    auto p = parse({0, 8, 0, 20, 65, 0, 1, 9, 66, 0, 1, 5});
    EXPECT_FALSE(p->failed);
    EXPECT_EQ(p->length, 8u);
    EXPECT_EQ(p->msg.elementCount(), 1u);
}

TEST(MsgReader, LyingElementLengthFails)
{
    auto p = parse({0, 12, 0, 20, 65, 0, 1, 9, 66, 0xFF, 0xFF, 1});
    EXPECT_TRUE(p->failed);
    EXPECT_EQ(p->msg.elementCount(), 1u);
}

TEST(MsgReader, HeaderProblemsGiveAnEmptyFailedMessage)
{
    EXPECT_TRUE(parse({})->failed);
    EXPECT_TRUE(parse({0, 4, 0})->failed);
    auto tooShort = parse({0, 2, 0, 20, 65, 0, 0});
    EXPECT_TRUE(tooShort->failed);
    EXPECT_EQ(tooShort->msg.elementCount(), 0u);
    auto leftover = parse({0, 6, 0, 20, 65, 0});  // two bytes that are no element
    EXPECT_TRUE(leftover->failed);
    EXPECT_EQ(leftover->msg.elementCount(), 0u);
    EXPECT_FALSE(parse({0, 4, 21, 20})->failed);  // a message without elements is valid
}

TEST(MsgReader, ElementCountIsBounded)
{
    std::vector<uint8_t> bytes = {0, 0, 0, 20};
    for (int i = 0; i < 100; ++i)
        bytes.insert(bytes.end(), {69, 0, 0});
    bytes[1] = static_cast<uint8_t>(bytes.size());
    bytes[0] = static_cast<uint8_t>(bytes.size() >> 8);
    auto p = parse(bytes);
    EXPECT_TRUE(p->failed);
    EXPECT_EQ(p->msg.elementCount(), 64u);
}

TEST(MsgReader, ReusesItsElementsAcrossParses)
{
    std::vector<uint8_t> first = {0, 14, 0, 20, 65, 0, 4, 1, 0, 0, 0, 238, 0, 0};
    std::vector<uint8_t> second = {0, 12, 0, 20, 66, 0, 2, 7, 7, 68, 0, 0};
    Msg msg(20);
    MemStream in1(first.data(), first.size());
    in1 >> msg;
    ASSERT_EQ(msg.elementCount(), 2u);
    const MsgElement* e0 = msg.elementAt(0);
    const MsgElement* e1 = msg.elementAt(1);
    MemStream in2(second.data(), second.size());
    in2 >> msg;
    ASSERT_FALSE(in2.failed());
    ASSERT_EQ(msg.elementCount(), 2u);
    EXPECT_EQ(msg.elementAt(0), e0);
    EXPECT_EQ(msg.elementAt(1), e1);
    EXPECT_EQ(msg.elementAt(0)->getTag(), 66);
    EXPECT_EQ(msg.elementAt(1)->getTag(), 68);
    msg.clear();
    EXPECT_EQ(msg.elementCount(), 0u);
    EXPECT_EQ(msg.getCategory(), 20);
}

struct LogCapture {
    std::mutex mutex;
    std::vector<std::string> lines;
    static void sink(int level, const char* line, void* self)
    {
        auto* c = static_cast<LogCapture*>(self);
        std::lock_guard<std::mutex> lock(c->mutex);
        c->lines.push_back(std::to_string(level) + " " + line);
    }
};

TEST(MsgDump, WritesThroughTheLevelLogAtDebugLevelOnly)
{
    LogCapture capture;
    const int saved = g_logLevel;
    ztUtilSetLogSink(&LogCapture::sink, &capture);
    MsgElement e(ZT_TAG_PAYLOAD, 3, "hi");
    Msg msg(ZT_MSG_CATEGORY);
    msg.addElement(&e);
    g_logLevel = UTIL_LOG_ERROR;
    msg.dump("quiet");
    g_logLevel = UTIL_LOG_DEBUG;
    msg.dump("Msg From Client");
    g_logLevel = saved;
    ztUtilSetLogSink(nullptr, nullptr);

    bool labelled = false, element = false;
    for (const std::string& line : capture.lines) {
        EXPECT_EQ(line.find("quiet"), std::string::npos);
        EXPECT_EQ(line.rfind("4 ", 0), 0u) << line;
        labelled |= line.find("Msg From Client") != std::string::npos;
        element |= line.find("68 69 00") != std::string::npos;
    }
    EXPECT_TRUE(labelled);
    EXPECT_TRUE(element);
}

}  // namespace
