// Reading notification frames ("LENGTH:<n>\n\n" and n-1 bytes of JSON) from a socket, and what
// the notification tests send and check.
#ifndef ZTCONTROLD_TESTS_NOTIFICATION_FRAMES_H
#define ZTCONTROLD_TESTS_NOTIFICATION_FRAMES_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/requester.h"
#include "ztClient.h"

// A thin wrapper over the client library's reader, on a duplicate of the descriptor (the caller
// still closes its own).
class FrameReader {
public:
    explicit FrameReader(int fd);

    // The JSON text of the next frame, waiting up to timeoutMs for it; false on time-out, a closed
    // peer or a malformed frame (malformed() tells).
    bool next(std::string* json, int timeoutMs = 5000);
    // Every complete frame that arrives, each within waitMs of the previous one.
    std::vector<std::string> drain(int waitMs = 200);
    bool malformed() const { return malformed_; }

private:
    std::unique_ptr<ztNotify, void (*)(ztNotify*)> reader_{nullptr, ztNotify_close};
    bool malformed_ = false;
};

// Succeeds when the text is one valid JSON object.
::testing::AssertionResult isJsonObject(const std::string& text);

// A notification text as the poll builds it: the JSON and its NUL.
inline std::stringstream notificationText(const std::string& json) {
    std::stringstream text;
    text << json << '\0';
    return text;
}

// The argument of the queue-client command: the register flag and the NUL-terminated name.
Bytes queueRegistration(uint32_t flag, const std::string& name);

#endif
