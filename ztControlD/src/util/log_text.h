// Texts that come from peers (names, passwords, event texts, mailbox names), made safe for one log
// line: a control character or DEL becomes \xNN, so a peer cannot break or forge log lines. Other
// bytes are kept; a text longer than the buffer is cut.
#ifndef LOG_TEXT_H
#define LOG_TEXT_H

#include <stddef.h>

class LogText {
public:
    // At most length bytes of text, ending at its first NUL.
    LogText(const char* text, size_t length);
    explicit LogText(const char* text);
    const char* c_str() const { return buffer_; }

private:
    char buffer_[512];
};

#endif
