// Message classes: byte format, refusal of the TLV event categories, accessors, reader limits, and
// random or damaged input to the reader (under ASan in the asan preset).
#include <gtest/gtest.h>

#include <random>
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
    msg.addElement(&rc);
    msg.addElement(&payload);
    msg.addElement(&end);
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

TEST(MsgElementValues, LittleEndianOnlyWhenLongEnoughAndStorageReused) {
    const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    for (uint16_t length = 0; length <= 4; ++length) {
        MsgElement e(ZT_TAG_ARGUMENT, length, data);
        uint8_t v8 = 0xEE;
        uint16_t v16 = 0xEEEE;
        uint32_t v32 = 0xEEEEEEEE;
        EXPECT_EQ(e.getValue8(v8), length >= 1) << length;
        EXPECT_EQ(e.getValue16(v16), length >= 2) << length;
        EXPECT_EQ(e.getValue32(v32), length >= 4) << length;
        EXPECT_EQ(v8, length >= 1 ? 0x01 : 0xEE) << length;
        EXPECT_EQ(v16, length >= 2 ? 0x0201 : 0xEEEE) << length;
        EXPECT_EQ(v32, length >= 4 ? 0x04030201u : 0xEEEEEEEEu) << length;
    }
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

Bytes randomInput(std::mt19937& rng, int round) {
    Bytes msg;
    if (round % 4 == 0) {  // noise
        msg.resize(rng() % 1501);
        for (uint8_t& b : msg) b = static_cast<uint8_t>(rng());
        return msg;
    }
    msg = {0, 0, static_cast<uint8_t>(rng()), 20};
    for (int i = 0, n = static_cast<int>(rng() % 8); i < n; ++i) {
        const uint16_t length = static_cast<uint16_t>(rng() % 40);
        msg.insert(msg.end(), {static_cast<uint8_t>(rng()), static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length)});
        for (uint16_t b = 0; b < length; ++b) msg.push_back(static_cast<uint8_t>(rng()));
    }
    msg[0] = static_cast<uint8_t>(msg.size() >> 8);
    msg[1] = static_cast<uint8_t>(msg.size());
    if (round % 4 == 1)  // left valid
        return msg;
    const size_t at = rng() % 2 ? 0 : 5;  // the total or the first element length lies
    switch (rng() % 4) {
        case 0:
            for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i)
                msg[rng() % msg.size()] = static_cast<uint8_t>(rng());
            break;
        case 1:
            msg.resize(rng() % (msg.size() + 1));
            break;
        case 2:
            for (int i = 0, n = static_cast<int>(rng() % 5); i < n; ++i)
                msg.push_back(static_cast<uint8_t>(rng()));
            break;
        default:
            if (msg.size() > at + 2) {
                msg[at] = static_cast<uint8_t>(rng());
                msg[at + 1] = static_cast<uint8_t>(rng());
            }
    }
    return msg;
}

// Whatever the reader accepts must be exactly the message the writer produces again.
TEST(MsgFuzz, RandomAndDamagedInputsNeverEscapeTheirBytes) {
    const int saved = g_logLevel;
    g_logLevel = UTIL_LOG_FATAL;  // the reader logs every malformed input
    std::mt19937 rng(20240611);
    Msg msg(20);
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        const Bytes input = randomInput(rng, round);
        size_t length = 0;
        const bool ok = parse(msg, input, &length);
        size_t dataBytes = 0;
        for (size_t i = 0; i < msg.elementCount(); ++i) dataBytes += msg.elementAt(i)->getLength();
        EXPECT_LE(length, input.size()) << "round " << round;
        EXPECT_LE(msg.elementCount(), 64u) << "round " << round;
        EXPECT_LE(dataBytes, input.size()) << "round " << round;
        const uint8_t category = msg.getCategory();
        if (!ok || category == 10 || (category >= 16 && category <= 18)) continue;
        const Bytes again = serialize(msg);
        EXPECT_EQ(again, Bytes(input.begin(), input.begin() + static_cast<long>(length)))
            << "round " << round;
    }
    g_logLevel = saved;
}

}  // namespace
