#include "json_writer.h"

#include <math.h>
#include <stdio.h>

namespace camsim {

void JsonWriter::member(const char* key) {
    if (!empty_.empty()) {
        if (!empty_.back()) out_ += ',';
        empty_.back() = false;
        out_ += '\n';
        out_.append(2 * empty_.size(), ' ');
    }
    if (key) {
        quoted(key);
        out_ += ": ";
    }
}

void JsonWriter::quoted(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out_ += esc;
        } else {
            out_ += char(c);
        }
    }
    out_ += '"';
}

JsonWriter& JsonWriter::open(const char* key, char bracket) {
    member(key);
    out_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    if (empty_.empty()) return *this;
    bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) {
        out_ += '\n';
        out_.append(2 * empty_.size(), ' ');
    }
    out_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::num(const char* key, long long v) {
    member(key);
    out_ += std::to_string(v);
    return *this;
}

JsonWriter& JsonWriter::real(const char* key, double v) {
    member(key);
    char buf[32];
    snprintf(buf, sizeof buf, "%.3f", isfinite(v) ? v : 0.0);
    out_ += buf;
    return *this;
}

JsonWriter& JsonWriter::boolean(const char* key, bool v) {
    member(key);
    out_ += v ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::str(const char* key, const std::string& v) {
    member(key);
    quoted(v);
    return *this;
}

JsonWriter& JsonWriter::null(const char* key) {
    member(key);
    out_ += "null";
    return *this;
}

std::string hexBytes(const uint8_t* p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

}  // namespace camsim
