#include "watch.h"

#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "frame_parser.h"
#include "json.h"
#include "transport.h"
#include "ztErrno.h"

namespace ztctl {

namespace {

constexpr char kSubscribeText[] = "status=1";
// The daemon turns notifications on for the connections it has already accepted; when the
// subscription overtakes our connection, no frame comes, so it is sent again after this long.
constexpr int kResubscribeMs = 2000;
constexpr int kMaxSubscriptions = 3;

int connectTo(const WatchOptions& options, std::string& error) {
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    int rc = getaddrinfo(options.host.c_str(), std::to_string(options.port).c_str(), &hints, &list);
    if (rc != 0) {
        error = "cannot resolve " + options.host + ": " + gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (struct addrinfo* a = list; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = strerror(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    if (fd < 0)
        error = "cannot connect to " + options.host + ":" + std::to_string(options.port) + ": " + error +
                " (is ztControlD running?)";
    return fd;
}

// 0 when the daemon accepted the subscription, else the exit status to end with.
int subscribe(const std::string& mailbox, double timeoutSeconds, std::ostream& err) {
    Request request;
    request.id = ZTCONTROL_PUSH_NOTIFICATIONS;
    request.hasArgument = true;
    request.argument.assign(kSubscribeText, kSubscribeText + sizeof kSubscribeText);
    Response response;
    std::string detail;
    if (exchange(mailbox, timeoutSeconds, request, response, detail) != Outcome::Answered) {
        err << "ztctl watch: cannot turn notifications on: " << detail << "\n";
        return 2;
    }
    if (response.result != 0) {
        err << "ztctl watch: turning notifications on answered " << response.result << " "
            << ztErrno2Str(response.result) << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runWatch(const WatchOptions& options, const std::string& mailbox, double timeoutSeconds, std::ostream& out,
             std::ostream& err) {
    std::string error;
    int fd = connectTo(options, error);
    if (fd < 0) {
        err << "ztctl watch: " << error << "\n";
        return 2;
    }
    int subscriptions = 0;
    if (options.subscribe) {
        int status = subscribe(mailbox, timeoutSeconds, err);
        if (status != 0) {
            close(fd);
            return status;
        }
        subscriptions = 1;
    }
    FrameParser parser;
    std::vector<std::string> frames;
    std::vector<char> buf(16384);
    long printed = 0;
    int exitStatus = 1;
    for (;;) {
        struct pollfd pfd = {fd, POLLIN, 0};
        int ready = poll(&pfd, 1, kResubscribeMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            if (printed == 0 && subscriptions > 0 && subscriptions < kMaxSubscriptions) {
                int status = subscribe(mailbox, timeoutSeconds, err);
                if (status != 0) {
                    exitStatus = status;
                    break;
                }
                subscriptions++;
            }
            continue;
        }
        ssize_t n = ready < 0 ? -1 : recv(fd, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err << "ztctl watch: connection " << (n == 0 ? "closed by the daemon" : std::string("failed: ") + strerror(errno))
                << " after " << printed << " frame" << (printed == 1 ? "" : "s")
                << (parser.atFrameBoundary() ? "" : ", in the middle of a frame") << "\n";
            break;
        }
        frames.clear();
        bool ok = parser.feed(buf.data(), (size_t)n, frames);
        for (std::string& frame : frames) {
            if (options.raw) {
                // One frame a line: line breaks between JSON tokens are blanks, and JSON strings
                // cannot hold a raw line break, so the text means the same.
                for (char& c : frame)
                    if (c == '\n' || c == '\r') c = ' ';
            }
            out << (options.raw ? frame : indentJson(frame)) << "\n";
            out.flush();
            if (++printed == options.count) break;
        }
        if (options.count > 0 && printed >= options.count) {
            exitStatus = 0;
            break;
        }
        if (!ok) {
            err << "ztctl watch: dropping the connection: " << parser.error() << "\n";
            exitStatus = 2;
            break;
        }
    }
    close(fd);
    return exitStatus;
}

}  // namespace ztctl
