#include "camsim/control_client.h"

#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace camsim {

namespace {

int fail(std::string* reply, const std::string& why) {
    *reply = why;
    return -1;
}

// Complete when a single-line reply has its line break, or a document its empty line.
bool complete(const std::string& text) {
    if (text.compare(0, 2, "ok") == 0 || text.compare(0, 5, "error") == 0) return text.find('\n') != std::string::npos;
    return text.find("\n\n") != std::string::npos;
}

}  // namespace

int controlRequest(const std::string& path, const std::string& line, std::string* reply, int timeoutMs) {
    if (line.find('\n') != std::string::npos) return fail(reply, "a command is one line");
    sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return fail(reply, "bad control socket path");
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(reply, std::string("socket: ") + strerror(errno));
    timeval tv = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int e = errno;
        close(fd);
        return fail(reply, "no simulator at " + path + ": " + strerror(e));
    }
    std::string out = line + "\n";
    if (send(fd, out.data(), out.size(), MSG_NOSIGNAL) != ssize_t(out.size())) {
        int e = errno;
        close(fd);
        return fail(reply, std::string("send: ") + strerror(e));
    }
    std::string text;
    char buf[4096];
    while (!complete(text)) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // closed, or the time-out passed
        text.append(buf, size_t(n));
    }
    close(fd);
    if (text.empty()) return fail(reply, "no reply from the simulator");
    while (!text.empty() && text.back() == '\n') text.pop_back();
    *reply = text;
    return 0;
}

}  // namespace camsim
