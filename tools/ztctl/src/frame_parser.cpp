#include "frame_parser.h"

#include <string.h>

namespace ztctl {

namespace {
constexpr char kPrefix[] = "LENGTH:";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kMaxDigits = 10;
}  // namespace

bool FrameParser::fail(std::string why) {
    failed_ = true;
    error_ = std::move(why);
    return false;
}

bool FrameParser::feed(const char* data, size_t length, std::vector<std::string>& frames) {
    if (failed_) return false;
    size_t k = 0;
    while (k < length) {
        char c = data[k];
        switch (state_) {
            case State::Prefix:
                if (c != kPrefix[matched_])
                    return fail(std::string("malformed frame header: expected \"LENGTH:\", got byte ") +
                                std::to_string((unsigned char)c));
                k++;
                if (++matched_ == kPrefixLength) {
                    state_ = State::Digits;
                    matched_ = 0;
                    length_ = 0;
                }
                break;
            case State::Digits:
                k++;
                if (c >= '0' && c <= '9') {
                    if (++matched_ > kMaxDigits) return fail("malformed frame header: length has too many digits");
                    length_ = length_ * 10 + (size_t)(c - '0');
                    if (length_ > maxLength_)
                        return fail("frame length above " + std::to_string(maxLength_) + " bytes");
                    break;
                }
                if (c != '\n' || matched_ == 0) return fail("malformed frame header: bad length");
                if (length_ == 0) return fail("malformed frame header: length 0");
                state_ = State::SecondNewline;
                break;
            case State::SecondNewline:
                k++;
                if (c != '\n') return fail("malformed frame header: expected two line feeds");
                state_ = State::Body;
                body_.clear();
                body_.reserve(length_ - 1);
                break;
            case State::Body: {
                size_t want = length_ - 1 - body_.size();
                size_t take = length - k < want ? length - k : want;
                body_.append(data + k, take);
                k += take;
                break;
            }
        }
        if (state_ == State::Body && body_.size() == length_ - 1) {
            frames.push_back(std::move(body_));
            body_ = std::string();
            state_ = State::Prefix;
            matched_ = 0;
        }
    }
    return true;
}

}  // namespace ztctl
