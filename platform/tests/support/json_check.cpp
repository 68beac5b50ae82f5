#include "json_check.h"

#include <stdlib.h>

#include <set>

namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : s_(text) {}

    bool document(JsonValue& out) {
        skipBlanks();
        if (!value(out)) return false;
        skipBlanks();
        return pos_ == s_.size() || fail("text after the value");
    }

    const std::string& error() const { return error_; }

  private:
    bool fail(const char* what) {
        if (error_.empty()) error_ = std::string(what) + " at offset " + std::to_string(pos_);
        return false;
    }

    bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }

    bool take(char c) { return at(c) && ++pos_; }

    void skipBlanks() {
        while (at(' ') || at('\t') || at('\n') || at('\r')) ++pos_;
    }

    bool literal(JsonValue& out, const char* word, JsonValue::Kind kind) {
        const std::string w(word);
        if (s_.compare(pos_, w.size(), w) != 0) return fail("unknown literal");
        pos_ += w.size();
        out.kind = kind;
        out.boolean = w == "true";
        return true;
    }

    bool value(JsonValue& out) {
        if (pos_ >= s_.size()) return fail("value expected");
        const char c = s_[pos_];
        if (c == '{') return container(out, JsonValue::Object, '}');
        if (c == '[') return container(out, JsonValue::Array, ']');
        if (c == 't') return literal(out, "true", JsonValue::Bool);
        if (c == 'f') return literal(out, "false", JsonValue::Bool);
        if (c == 'n') return literal(out, "null", JsonValue::Null);
        if (c == '"') {
            out.kind = JsonValue::String;
            return string(out.text);
        }
        out.kind = JsonValue::Number;
        return number(out.number);
    }

    // An object's members or an array's items, from the opening bracket on.
    bool container(JsonValue& out, JsonValue::Kind kind, char close) {
        out.kind = kind;
        ++pos_;
        skipBlanks();
        if (take(close)) return true;
        std::set<std::string> keys;
        for (;;) {
            skipBlanks();
            JsonValue* slot = nullptr;
            if (kind == JsonValue::Object) {
                std::string key;
                if (!at('"') || !string(key)) return fail("member name expected");
                if (!keys.insert(key).second) return fail("repeated member name");
                skipBlanks();
                if (!take(':')) return fail("':' expected");
                skipBlanks();
                out.members.emplace_back(key, JsonValue());
                slot = &out.members.back().second;
            } else {
                out.items.emplace_back();
                slot = &out.items.back();
            }
            if (!value(*slot)) return false;
            skipBlanks();
            if (take(close)) return true;
            if (!take(',')) return fail(close == '}' ? "',' or '}' expected" : "',' or ']' expected");
        }
    }

    bool string(std::string& out) {
        ++pos_;  // opening quote
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) break;
            const char e = s_[pos_++];
            if (e == 'u') {
                if (pos_ + 4 > s_.size()) return fail("short \\u escape");
                pos_ += 4;
                out += '?';
            } else if (std::string("\"\\/bfnrt").find(e) != std::string::npos) {
                out += e;
            } else {
                return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }

    bool digits() {
        const size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }

    bool number(double& out) {
        const size_t start = pos_;
        take('-');
        if (!take('0') && !digits()) return fail("number expected");
        if (take('.') && !digits()) return fail("fraction digits expected");
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) return fail("exponent digits expected");
        }
        out = strtod(s_.substr(start, pos_ - start).c_str(), nullptr);
        return true;
    }

    const std::string& s_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

const JsonValue* JsonValue::find(const std::string& key) const {
    for (const auto& m : members)
        if (m.first == key) return &m.second;
    return nullptr;
}

bool parseJson(const std::string& text, JsonValue& out, std::string* error) {
    out = JsonValue();
    Reader reader(text);
    const bool ok = reader.document(out);
    if (!ok && error) *error = reader.error();
    return ok;
}
