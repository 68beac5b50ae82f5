#include "json_check.h"

#include <ctype.h>
#include <string.h>

namespace ztctl_test {

namespace {

class Checker {
public:
    explicit Checker(const std::string& t) : s_(t) {}

    bool document() {
        skip();
        if (!value(0)) return false;
        skip();
        return k_ == s_.size();
    }

private:
    void skip() {
        while (k_ < s_.size() && strchr(" \t\r\n", s_[k_])) k_++;
    }
    bool eat(char c) {
        if (k_ < s_.size() && s_[k_] == c) {
            k_++;
            return true;
        }
        return false;
    }
    bool literal(const char* word) {
        size_t n = strlen(word);
        if (s_.compare(k_, n, word) != 0) return false;
        k_ += n;
        return true;
    }
    bool string() {
        if (!eat('"')) return false;
        while (k_ < s_.size()) {
            unsigned char c = (unsigned char)s_[k_++];
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (k_ >= s_.size()) return false;
            char e = s_[k_++];
            if (e == 'u') {
                for (int i = 0; i < 4; i++)
                    if (k_ >= s_.size() || !isxdigit((unsigned char)s_[k_++])) return false;
            } else if (!strchr("\"\\/bfnrt", e)) {
                return false;
            }
        }
        return false;
    }
    bool digits() {
        size_t start = k_;
        while (k_ < s_.size() && isdigit((unsigned char)s_[k_])) k_++;
        return k_ > start;
    }
    bool number() {
        eat('-');
        if (eat('0')) {
            if (k_ < s_.size() && isdigit((unsigned char)s_[k_])) return false;
        } else if (!digits()) {
            return false;
        }
        if (eat('.') && !digits()) return false;
        if (eat('e') || eat('E')) {
            if (!eat('+')) eat('-');
            if (!digits()) return false;
        }
        return true;
    }
    bool members(int depth, char close, bool object) {
        skip();
        if (eat(close)) return true;
        for (;;) {
            skip();
            if (object) {
                if (!string()) return false;
                skip();
                if (!eat(':')) return false;
                skip();
            }
            if (!value(depth + 1)) return false;
            skip();
            if (eat(close)) return true;
            if (!eat(',')) return false;
        }
    }
    bool value(int depth) {
        if (depth > 64 || k_ >= s_.size()) return false;
        char c = s_[k_];
        if (c == '{') return ++k_, members(depth, '}', true);
        if (c == '[') return ++k_, members(depth, ']', false);
        if (c == '"') return string();
        if (c == 't') return literal("true");
        if (c == 'f') return literal("false");
        if (c == 'n') return literal("null");
        return number();
    }

    const std::string& s_;
    size_t k_ = 0;
};

}  // namespace

bool isValidJson(const std::string& text) { return Checker(text).document(); }

}  // namespace ztctl_test
