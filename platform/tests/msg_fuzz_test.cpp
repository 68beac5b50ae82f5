// Random and damaged inputs to the message reader (run under ASan in the asan preset): it must
// stay inside the bytes it was given and, whenever it accepts an input, have read exactly the
// message the writer would produce again.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "zt_msg_classes.h"
#include "ztLog.h"

namespace {

std::vector<uint8_t> validMessage(std::mt19937& rng)
{
    std::vector<uint8_t> msg = {0, 0, static_cast<uint8_t>(rng()), 20};
    const int elements = static_cast<int>(rng() % 8);
    for (int i = 0; i < elements; ++i) {
        const uint16_t length = static_cast<uint16_t>(rng() % 40);
        msg.push_back(static_cast<uint8_t>(rng()));
        msg.push_back(static_cast<uint8_t>(length >> 8));
        msg.push_back(static_cast<uint8_t>(length));
        for (uint16_t b = 0; b < length; ++b)
            msg.push_back(static_cast<uint8_t>(rng()));
    }
    msg[0] = static_cast<uint8_t>(msg.size() >> 8);
    msg[1] = static_cast<uint8_t>(msg.size());
    return msg;
}

void damage(std::vector<uint8_t>& msg, std::mt19937& rng)
{
    switch (rng() % 5) {
    case 0:  // flip bytes, often the length fields
        for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n && !msg.empty(); ++i)
            msg[rng() % msg.size()] = static_cast<uint8_t>(rng());
        break;
    case 1:  // truncate
        msg.resize(rng() % (msg.size() + 1));
        break;
    case 2:  // a total length that lies
        if (msg.size() >= 2) {
            const uint16_t lie = static_cast<uint16_t>(rng());
            msg[0] = static_cast<uint8_t>(lie >> 8);
            msg[1] = static_cast<uint8_t>(lie);
        }
        break;
    case 3:  // trailing garbage
        for (int i = 0, n = static_cast<int>(rng() % 5); i < n; ++i)
            msg.push_back(static_cast<uint8_t>(rng()));
        break;
    default:  // an element length that lies
        if (msg.size() > 7) {
            msg[5] = static_cast<uint8_t>(rng());
            msg[6] = static_cast<uint8_t>(rng());
        }
        break;
    }
}

// Parses from an exactly sized heap copy, so that ASan sees any read past the input.
void checkReader(Msg& msg, const std::vector<uint8_t>& input)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() ? input.size() : 1]);
    std::copy(input.begin(), input.end(), exact.get());
    MemStream in(exact.get(), input.size());
    in >> msg;
    ASSERT_LE(in.getLength(), input.size());
    ASSERT_LE(msg.elementCount(), 64u);
    size_t dataBytes = 0;
    for (size_t i = 0; i < msg.elementCount(); ++i)
        dataBytes += msg.elementAt(i)->getLength();
    ASSERT_LE(dataBytes, input.size());
    if (in.failed())
        return;
    const uint8_t category = msg.getCategory();
    if (category == 10 || category == 16 || category == 17 || category == 18)
        return;
    std::vector<uint8_t> again(1500);
    MemStream out(again.data(), again.size());
    out << msg;
    ASSERT_FALSE(out.failed());
    ASSERT_EQ(out.getLength(), in.getLength());
    ASSERT_TRUE(std::equal(again.begin(), again.begin() + static_cast<long>(out.getLength()), input.begin()));
}

TEST(MsgFuzz, RandomAndDamagedInputsNeverEscapeTheirBytes)
{
    const int saved = g_logLevel;
    g_logLevel = UTIL_LOG_FATAL;  // the reader logs every malformed input
    std::mt19937 rng(20240611);
    Msg msg(20);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> input;
        if (round % 4 == 0) {
            input.resize(rng() % 1501);
            for (uint8_t& b : input)
                b = static_cast<uint8_t>(rng());
        } else {
            input = validMessage(rng);
            if (round % 4 != 1)
                damage(input, rng);
        }
        checkReader(msg, input);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round << ", " << input.size() << " bytes";
            break;
        }
    }
    g_logLevel = saved;
}

}  // namespace
