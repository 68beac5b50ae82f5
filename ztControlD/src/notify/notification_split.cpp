#include "notify/notification_split.h"

namespace {

struct Span {
    size_t begin;
    size_t end;
};

struct Section {
    Span key;                   // with its quotes
    bool isObject;
    Span value;                 // the whole value when it is no object
    std::vector<Span> members;  // "key":value of an object value
};

class Scanner {
public:
    explicit Scanner(const std::string& text) : s_(text) {}

    void skipSpace() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
    }
    bool take(char c) {
        skipSpace();
        if (at_ >= s_.size() || s_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool peek(char c) {
        skipSpace();
        return at_ < s_.size() && s_[at_] == c;
    }
    bool string(Span* span) {
        skipSpace();
        if (at_ >= s_.size() || s_[at_] != '"') return false;
        span->begin = at_++;
        while (at_ < s_.size() && s_[at_] != '"') at_ += s_[at_] == '\\' ? 2 : 1;
        if (at_ >= s_.size()) return false;
        span->end = ++at_;
        return true;
    }
    // Any value, up to the comma or closing bracket that ends it at its own depth.
    bool value(Span* span) {
        skipSpace();
        span->begin = at_;
        int depth = 0;
        while (at_ < s_.size()) {
            const char c = s_[at_];
            if (c == '"') {
                Span ignored;
                if (!string(&ignored)) return false;
                continue;
            }
            if (depth == 0 && (c == ',' || c == '}' || c == ']')) break;
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') --depth;
            ++at_;
        }
        span->end = at_;
        while (span->end > span->begin && (s_[span->end - 1] == ' ' || s_[span->end - 1] == '\n')) --span->end;
        return depth == 0 && span->end > span->begin;
    }
    // "key":value
    bool member(Span* key, Span* whole) {
        Span v;
        if (!string(key) || !take(':') || !value(&v)) return false;
        whole->begin = key->begin;
        whole->end = v.end;
        return true;
    }
    bool atEnd() {
        skipSpace();
        return at_ == s_.size();
    }

private:
    const std::string& s_;
    size_t at_ = 0;
};

bool parseSections(const std::string& json, std::vector<Section>* sections) {
    Scanner in(json);
    if (!in.take('{')) return false;
    if (in.take('}')) return in.atEnd();
    do {
        Section section;
        if (!in.string(&section.key) || !in.take(':')) return false;
        section.isObject = in.peek('{');
        if (section.isObject) {
            in.take('{');
            if (!in.peek('}')) {
                do {
                    Span key, whole;
                    if (!in.member(&key, &whole)) return false;
                    section.members.push_back(whole);
                } while (in.take(','));
            }
            if (!in.take('}')) return false;
        } else if (!in.value(&section.value)) {
            return false;
        }
        sections->push_back(section);
    } while (in.take(','));
    return in.take('}') && in.atEnd();
}

// Builds the parts one member at a time; a member that would overflow the part starts a new one.
class Packer {
public:
    Packer(const std::string& json, size_t maxLength, std::vector<std::string>* parts)
        : json_(json), max_(maxLength), parts_(parts) {
        part_ = "{";
    }

    // Adds a member of an object section (open is the section's key) or a whole atomic section.
    bool add(const Section& section, const Span& item) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            const size_t before = part_.size();
            const Section* openBefore = open_;
            append(section, item);
            if (part_.size() + closers() <= max_) return true;
            part_.resize(before);
            open_ = openBefore;
            if (part_.size() == 1) return false;  // alone it is too long
            finish();
        }
        return false;
    }

    void finish() {
        if (part_.size() == 1) return;
        if (open_) part_ += '}';
        part_ += '}';
        parts_->push_back(part_);
        part_ = "{";
        open_ = nullptr;
    }

private:
    size_t closers() const { return open_ ? 2 : 1; }

    void append(const Section& section, const Span& item) {
        if (section.isObject && open_ == &section) {
            part_ += ',';
        } else {
            if (open_) part_ += '}';
            if (part_.size() > 1) part_ += ",\n";
            part_.append(json_, section.key.begin, section.key.end - section.key.begin);
            part_ += ':';
            if (section.isObject) part_ += '{';
            open_ = section.isObject ? &section : nullptr;
        }
        part_.append(json_, item.begin, item.end - item.begin);
    }

    const std::string& json_;
    size_t max_;
    std::vector<std::string>* parts_;
    std::string part_;
    const Section* open_ = nullptr;
};

}  // namespace

bool splitNotification(const std::string& json, size_t maxLength, std::vector<std::string>* parts) {
    parts->clear();
    std::vector<Section> sections;
    if (!parseSections(json, &sections)) return false;
    Packer packer(json, maxLength, parts);
    for (const Section& section : sections) {
        if (!section.isObject) {
            if (!packer.add(section, section.value)) return false;
            continue;
        }
        for (const Span& member : section.members)
            if (!packer.add(section, member)) return false;
    }
    packer.finish();
    return true;
}
