// Helpers shared by the libztCommon tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ztCommon.h"
#include "queue_cleanup.h"

namespace zttest {

using Strings = std::vector<std::string>;

// Trace verbosity 0x20 with copies on standard output (bit 30).
constexpr unsigned kTraceToStdout = 0x40000020u;

// What f writes on file descriptor fd (1 or 2), through googletest's stream capture.
inline std::string Captured(int fd, const std::function<void()>& f)
{
    fd == 1 ? testing::internal::CaptureStdout() : testing::internal::CaptureStderr();
    f();
    return fd == 1 ? testing::internal::GetCapturedStdout() : testing::internal::GetCapturedStderr();
}

// Lines of a text without their newlines; untimed drops the "MonDD HH:MM:SS " trace timestamp.
inline Strings Lines(const std::string& text, bool untimed = false)
{
    Strings out;
    for (size_t start = 0, nl; start < text.size(); start = nl + 1) {
        nl = std::min(text.find('\n', start), text.size());
        size_t from = untimed && nl - start >= 15 ? start + 15 : start;
        out.push_back(text.substr(from, nl - from));
    }
    return out;
}

// What f writes on standard output, as untimed lines.
inline Strings StdoutLines(const std::function<void()>& f)
{
    return Lines(Captured(1, f), true);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A mailbox name private to this test process.
inline std::string MboxName(const std::string& tag)
{
    return zt_cleanup::removeAtCrash("/ztct_" + std::to_string(getpid()) + "_" + tag);
}

// Death-test children (other pids, so other names) never reach TearDown: they remove the
// mailboxes they create when they exit.
inline void UnlinkAtExit(const std::string& name)
{
    static auto* names = new Strings();
    static int registered = atexit([] {
        for (const std::string& n : *names)
            mq_unlink(n.c_str());
    });
    (void)registered;
    names->push_back(name);
}

// f must end the process with status 255 after the library ASSERT line of where
// ("ztTlv.c/sntlv_void") and cond, and write every extra text too.
inline void ExpectAssert(const std::function<void()>& f, const std::string& where, const std::string& cond,
                         Strings extra = {})
{
    extra.push_back("\033[31mASSERT:libztCommon/src/" + where + ":");
    extra.push_back(":" + cond + "\n\033[0m");
    std::vector<testing::Matcher<const std::string&>> all;
    for (const std::string& text : extra)
        all.push_back(testing::HasSubstr(text));
    EXPECT_EXIT(f(), testing::ExitedWithCode(255), testing::AllOfArray(all));
}

// Builds TLV messages element by element in a 1500-byte buffer.
struct TlvMsg {
    unsigned char buf[ZTMSG_MAX] = {};
    explicit TlvMsg(int cat = 16) { sntlv_msg_init(buf, ZTMSG_MAX, cat); }
    TlvMsg& Add(int type, const std::string& value)
    {
        sntlv_add_bin(buf, ZTMSG_MAX, type, static_cast<int>(value.size()), value.data());
        return *this;
    }
    TlvMsg& End() { return Add(TLV_END, ""); }
    TlvMsg& Set(int at, unsigned char byte)
    {
        buf[at] = byte;
        return *this;
    }
    TlvMsg& SetLen(unsigned len) { return Set(0, (unsigned char)(len >> 8)).Set(1, (unsigned char)len); }
    int Len() const { return sntlv_msg_len(buf); }
    // A heap copy of exactly the header's length (at least the header, at most ZTMSG_MAX), so
    // that ASan sees any read past the message.
    std::vector<unsigned char> Exact() const { return {buf, buf + std::clamp(Len(), 4, ZTMSG_MAX)}; }
    // A command: CMD "CR", 2-byte CMDARG, SRC "/to_ztCtlD", DST "/to_ztnet", END (47 bytes).
    static TlvMsg Command(int cat = 16)
    {
        return TlvMsg(cat).Add(TLV_CMD, "CR").Add(TLV_CMDARG, "\x01\x02").Add(TLV_SRC, "/to_ztCtlD")
            .Add(TLV_DST, "/to_ztnet").End();
    }
};

}  // namespace zttest
