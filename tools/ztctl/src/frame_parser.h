// Incremental parser of the notification stream: each frame is "LENGTH:" N "\n\n" followed by
// N-1 bytes of JSON text (the length counts the sender's NUL, which is not transmitted).
#ifndef ZTCTL_FRAME_PARSER_H
#define ZTCTL_FRAME_PARSER_H

#include <stddef.h>

#include <string>
#include <vector>

namespace ztctl {

constexpr size_t kMaxFrameLength = 1024 * 1024;

class FrameParser {
public:
    explicit FrameParser(size_t maxLength = kMaxFrameLength) : maxLength_(maxLength) {}

    // Consumes bytes as they arrive (any split), appending every completed frame body to
    // `frames`. False once the stream is malformed (a bad header, a length of 0 or above the
    // bound), with the reason in error(); the parser then stays failed and consumes nothing more.
    bool feed(const char* data, size_t length, std::vector<std::string>& frames);

    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    // True between frames: a stream that ends here ended cleanly.
    bool atFrameBoundary() const { return state_ == State::Prefix && matched_ == 0; }

private:
    enum class State { Prefix, Digits, SecondNewline, Body };
    bool fail(std::string why);

    size_t maxLength_;
    State state_ = State::Prefix;
    size_t matched_ = 0;  // characters of "LENGTH:" matched so far, or digits read
    size_t length_ = 0;   // the header's number
    std::string body_;
    bool failed_ = false;
    std::string error_;
};

}  // namespace ztctl

#endif
