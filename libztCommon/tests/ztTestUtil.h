// Helpers shared by the libztCommon tests.
#pragma once

#include <mqueue.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ztCommon.h"

namespace zttest {

// Saves the library's globals and restores them when the test ends.
class GlobalsGuard {
public:
    GlobalsGuard()
        : logLevel_(g_logLevel), debugLevel_(g_debug_level), debug_(g_debug), timed_(g_timedreceive)
    {
    }
    ~GlobalsGuard()
    {
        g_logLevel = logLevel_;
        g_debug_level = debugLevel_;
        g_debug = debug_;
        g_timedreceive = timed_;
    }

private:
    int logLevel_;
    unsigned debugLevel_;
    unsigned debug_;
    int timed_;
};

// Trace verbosity 0x20 with copies on standard output (bit 30).
constexpr unsigned kTraceToStdout = 0x40000020u;

// Redirects a file descriptor (1 or 2) into a temporary file until Stop().
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd)
    {
        fflush(nullptr);
        file_ = tmpfile();
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~FdCapture() { Stop(); }
    std::string Stop()
    {
        if (file_ != nullptr) {
            fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_);
            rewind(file_);
            char chunk[4096];
            size_t n;
            while ((n = fread(chunk, 1, sizeof chunk, file_)) > 0)
                text_.append(chunk, n);
            fclose(file_);
            file_ = nullptr;
        }
        return text_;
    }

private:
    int fd_;
    int saved_ = -1;
    FILE* file_ = nullptr;
    std::string text_;
};

// Lines of a captured text, without their newlines.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

// Drops the "MonDD HH:MM:SS " timestamp of a trace output line.
inline std::string Untimed(const std::string& line)
{
    return line.size() >= 15 ? line.substr(15) : line;
}

// A mailbox name private to this test process.
inline std::string MboxName(const std::string& tag)
{
    return "/ztct_" + std::to_string(getpid()) + "_" + tag;
}

// Death-test children are separate processes (other pid, so other names) that never reach
// TearDown: they remove the mailboxes they create when they exit.
inline void UnlinkAtExit(const std::string& name)
{
    static std::vector<std::string>* names = nullptr;
    if (names == nullptr) {
        names = new std::vector<std::string>();
        atexit([] {
            for (const std::string& n : *names)
                mq_unlink(n.c_str());
        });
    }
    names->push_back(name);
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
    TlvMsg& End()
    {
        sntlv_add_dat(buf, ZTMSG_MAX, TLV_END, 0, 0);
        return *this;
    }
    int Len() const { return sntlv_msg_len(buf); }
    void SetLen(unsigned len)
    {
        buf[0] = static_cast<unsigned char>(len >> 8);
        buf[1] = static_cast<unsigned char>(len);
    }
    // A command: CMD "CR", 2-byte CMDARG, SRC "/to_ztCtlD", DST "/to_ztnet", END (47 bytes).
    static TlvMsg Command(int cat = 16)
    {
        TlvMsg m(cat);
        m.Add(TLV_CMD, "CR").Add(TLV_CMDARG, std::string("\x01\x02", 2));
        m.Add(TLV_SRC, "/to_ztCtlD").Add(TLV_DST, "/to_ztnet").End();
        return m;
    }
};

}  // namespace zttest
