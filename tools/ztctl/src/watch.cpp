#include "watch.h"

#include <errno.h>
#include <string.h>

#include "json.h"
#include "transport.h"
#include "ztClient.h"
#include "ztErrno.h"

namespace ztctl {

namespace {

// Watch has no overall time-out: it waits in slices of this until the stream ends.
constexpr int kWaitSliceMs = 60000;

std::string connectFailure(int code) {
    switch (code) {
        case ZTCLIENT_ERR_NO_DAEMON: return strerror(ECONNREFUSED);
        case ZTCLIENT_ERR_TIMEOUT: return strerror(ETIMEDOUT);
        default: return ztClient_errorName(code);
    }
}

// 0 when the daemon accepted the subscription, else the exit status to end with.
int subscribe(ztNotify* reader, Session& session, const std::string& mailbox, double timeoutSeconds,
              std::ostream& err) {
    if (!session.client()) {
        err << "ztctl watch: cannot turn notifications on: " << session.openFailure() << "\n";
        return 2;
    }
    const int r = ztNotify_subscribe(reader, session.client(), timeoutMilliseconds(timeoutSeconds));
    if (r <= ZTCLIENT_ERR_TIMEOUT && r >= ZTCLIENT_ERR_CLOSED) {
        std::string detail;
        callFailure(r, mailbox, timeoutSeconds, detail);
        err << "ztctl watch: cannot turn notifications on: " << detail << "\n";
        return 2;
    }
    if (r != 0) {
        err << "ztctl watch: turning notifications on answered " << r << " " << ztErrno2Str(r) << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runWatch(const WatchOptions& options, const std::string& mailbox, double timeoutSeconds, std::ostream& out,
             std::ostream& err) {
    ztNotify* reader = nullptr;
    int r = ztNotify_connect(&reader, nullptr, options.host.c_str(), (uint16_t)options.port,
                             timeoutMilliseconds(timeoutSeconds));
    if (r != 0) {
        err << "ztctl watch: cannot connect to " << options.host << ":" << options.port << ": " << connectFailure(r)
            << " (is ztControlD running?)\n";
        return 2;
    }
    Session session(mailbox);
    int exitStatus = options.subscribe ? subscribe(reader, session, mailbox, timeoutSeconds, err) : 0;
    long printed = 0;
    while (exitStatus == 0 && (options.count == 0 || printed < options.count)) {
        const char* text = nullptr;
        size_t length = 0;
        r = ztNotify_next(reader, kWaitSliceMs, &text, &length);
        if (r == ZTCLIENT_ERR_TIMEOUT) continue;
        if (r == ZTCLIENT_ERR_MALFORMED) {
            err << "ztctl watch: dropping the connection: malformed frame (a bad header, or a length of 0 or above "
                << ZTNOTIFY_TEXT_MAX << " bytes)\n";
            exitStatus = 2;
        } else if (r != 0) {
            err << "ztctl watch: connection closed by the daemon after " << printed << " frame"
                << (printed == 1 ? "" : "s") << (ztNotify_midFrame(reader) ? ", in the middle of a frame" : "")
                << "\n";
            exitStatus = 1;
        } else {
            std::string frame(text, length);
            // One frame a line: line breaks between JSON tokens are blanks, and JSON strings cannot
            // hold a raw line break, so the text means the same.
            if (options.raw)
                for (char& c : frame)
                    if (c == '\n' || c == '\r') c = ' ';
            out << (options.raw ? frame : indentJson(frame)) << "\n";
            out.flush();
            printed++;
        }
    }
    ztNotify_close(reader);
    return exitStatus;
}

}  // namespace ztctl
