// A strict JSON validator (RFC 8259 grammar), enough to prove the state document parses.
#include <ctype.h>
#include <string.h>

#include "test_support.h"

namespace camsim_test {

namespace {

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}
    bool document() {
        ws();
        if (!value(0)) return false;
        ws();
        return i_ == s_.size();
    }

private:
    void ws() {
        while (i_ < s_.size() && strchr(" \t\r\n", s_[i_])) ++i_;
    }
    bool lit(const char* w) {
        size_t n = strlen(w);
        if (s_.compare(i_, n, w) != 0) return false;
        i_ += n;
        return true;
    }
    bool string() {
        if (i_ >= s_.size() || s_[i_] != '"') return false;
        for (++i_; i_ < s_.size(); ++i_) {
            unsigned char c = s_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++i_ >= s_.size()) return false;
                char e = s_[i_];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (++i_ >= s_.size() || !isxdigit(static_cast<unsigned char>(s_[i_]))) return false;
                } else if (!strchr("\"\\/bfnrt", e)) {
                    return false;
                }
            }
        }
        return false;
    }
    bool digits() {
        size_t start = i_;
        while (i_ < s_.size() && isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        return i_ > start;
    }
    bool number() {
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        if (i_ < s_.size() && s_[i_] == '0') ++i_;
        else if (!digits()) return false;
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (!digits()) return false;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            if (!digits()) return false;
        }
        return true;
    }
    bool container(int depth, char close, bool object) {
        ++i_;
        ws();
        if (i_ < s_.size() && s_[i_] == close) {
            ++i_;
            return true;
        }
        for (;;) {
            ws();
            if (object) {
                if (!string()) return false;
                ws();
                if (i_ >= s_.size() || s_[i_++] != ':') return false;
                ws();
            }
            if (!value(depth + 1)) return false;
            ws();
            if (i_ >= s_.size()) return false;
            char c = s_[i_++];
            if (c == close) return true;
            if (c != ',') return false;
        }
    }
    bool value(int depth) {
        if (depth > 64 || i_ >= s_.size()) return false;
        char c = s_[i_];
        if (c == '{') return container(depth, '}', true);
        if (c == '[') return container(depth, ']', false);
        if (c == '"') return string();
        if (c == 't') return lit("true");
        if (c == 'f') return lit("false");
        if (c == 'n') return lit("null");
        return number();
    }

    const std::string& s_;
    size_t i_ = 0;
};

}  // namespace

bool validJson(const std::string& text) { return Parser(text).document(); }

}  // namespace camsim_test
