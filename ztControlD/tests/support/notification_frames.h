// Reading notification frames ("LENGTH:<n>\n\n" and n-1 bytes of JSON) from a socket, and the
// event messages of queue clients, for the notification tests.
#ifndef ZTCONTROLD_TESTS_NOTIFICATION_FRAMES_H
#define ZTCONTROLD_TESTS_NOTIFICATION_FRAMES_H

#include <gtest/gtest.h>
#include <mqueue.h>
#include <stdint.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/requester.h"
#include "ztClient.h"

class FrameReader {
public:
    explicit FrameReader(int fd) : fd_(fd) {}

    // The JSON text of the next frame, waiting up to timeoutMs for it; false on time-out, a closed
    // peer or a malformed header (malformed() tells).
    bool next(std::string* json, int timeoutMs = 5000);
    // Every complete frame that arrives, each within waitMs of the previous one.
    std::vector<std::string> drain(int waitMs = 200);
    bool malformed() const { return malformed_; }
    bool peerClosed() const { return closed_; }

private:
    bool takeFrame(std::string* json);

    int fd_;
    std::string buffered_;
    ztFrameSplit split_{};
    std::string body_;
    bool malformed_ = false;
    bool closed_ = false;
};

// Succeeds when the text is one valid JSON object.
::testing::AssertionResult isJsonObject(const std::string& text);

// A notification text as the poll builds it: the JSON and its NUL.
inline std::stringstream notificationText(const std::string& json) {
    std::stringstream text;
    text << json << '\0';
    return text;
}

// A private queue (name with the pid) that a queue client can be registered for.
class PrivateQueue {
public:
    explicit PrivateQueue(const std::string& tag, long maxMessages = 4);
    ~PrivateQueue();
    PrivateQueue(const PrivateQueue&) = delete;
    PrivateQueue& operator=(const PrivateQueue&) = delete;

    const std::string& name() const { return name_; }
    // One message, or an empty vector after timeoutMs.
    std::vector<uint8_t> receive(int timeoutMs = 5000);
    // The notification texts (without their NUL) that arrive, each within waitMs of the previous.
    std::vector<std::string> texts(int waitMs);
    long queued() const;
    // Fills the queue with one-byte messages, as a client that stops reading leaves it.
    bool fill();

private:
    std::string name_;
    mqd_t mqd_;
};

struct QueueNotification {
    bool parsed = false;
    uint8_t category = 0;
    uint8_t msgType = 0;
    std::vector<uint8_t> tags;  // in message order
    int32_t result = -1;
    std::string text;           // element 69 as sent, NUL included
};

// Parses an event message back with the message classes.
QueueNotification parseQueueNotification(const std::vector<uint8_t>& bytes);

// The argument of the queue-client command: the register flag and the NUL-terminated name.
Bytes queueRegistration(uint32_t flag, const std::string& name);

#endif
