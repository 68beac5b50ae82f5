#include "camsim/op_match.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace camsim {

namespace {

const char* const kLinkCodes[] = {"RA", "SA", "DC", "MN", "PA", "CS", "SV", "CR"};

bool isLinkCode(const char* s) {
    for (const char* c : kLinkCodes)
        if (!strcmp(c, s)) return true;
    return false;
}

bool number(const char* s, long max, long* out) {
    if (!*s) return false;
    char* end = nullptr;
    long v = strtol(s, &end, 10);
    if (*end || v < 0 || v > max) return false;
    *out = v;
    return true;
}

void copyCode(char* dst, const char* src) {
    dst[0] = src[0];
    dst[1] = src[0] ? src[1] : 0;
    dst[2] = 0;
}

}  // namespace

OpMatch OpMatch::remote(uint8_t category, uint8_t op) {
    OpMatch m;
    m.kind = OpKind::Remote;
    m.category = category;
    m.op = op;
    return m;
}

OpMatch OpMatch::satchel(const char* code) {
    OpMatch m;
    m.kind = OpKind::Satchel;
    copyCode(m.code, code);
    return m;
}

OpMatch OpMatch::directOp(uint16_t op) {
    OpMatch m;
    m.kind = OpKind::Direct;
    m.direct = op;
    return m;
}

OpMatch OpMatch::link(const char* code) {
    OpMatch m;
    m.kind = OpKind::Link;
    copyCode(m.code, code);
    return m;
}

bool OpMatch::parse(const std::string& text, OpMatch* out) {
    const char* s = text.c_str();
    long a = 0, b = 0;
    if (text == "any") {
        *out = any();
        return true;
    }
    const char* slash = strchr(s, '/');
    if (slash && slash != s) {
        std::string left(s, size_t(slash - s));
        if (!number(left.c_str(), 255, &a) || !number(slash + 1, 255, &b)) return false;
        *out = remote(uint8_t(a), uint8_t(b));
        return true;
    }
    if (!strncmp(s, "dc:", 3) || !strncmp(s, "direct:", 7)) {
        if (!number(strchr(s, ':') + 1, 0xFFFF, &a)) return false;
        *out = directOp(uint16_t(a));
        return true;
    }
    const char* code = s;
    bool explicitSatchel = false;
    if (!strncmp(s, "sat:", 4) || !strncmp(s, "satchel:", 8)) {
        code = strchr(s, ':') + 1;
        explicitSatchel = true;
    }
    if (strlen(code) != 2) return false;
    if (!explicitSatchel && isLinkCode(code)) {
        *out = link(code);
        return true;
    }
    *out = satchel(code);
    return true;
}

bool OpMatch::matches(const OpId& id) const {
    switch (kind) {
    case OpKind::Any:
        return true;
    case OpKind::Remote:
        return !strcmp(id.code, "RA") && id.category == category && id.op == op;
    case OpKind::Satchel:
        return !strcmp(id.code, "SA") && !strcmp(id.satchel, code);
    case OpKind::Direct:
        return !strcmp(id.code, "DC") && id.direct == direct;
    case OpKind::Link:
        return !strcmp(id.code, code);
    }
    return false;
}

std::string OpMatch::describe() const {
    char buf[32];
    switch (kind) {
    case OpKind::Any: return "any";
    case OpKind::Remote: snprintf(buf, sizeof buf, "%u/%u", category, op); return buf;
    case OpKind::Satchel: snprintf(buf, sizeof buf, "sat:%s", code); return buf;
    case OpKind::Direct: snprintf(buf, sizeof buf, "dc:%u", direct); return buf;
    case OpKind::Link: return code;
    }
    return "?";
}

}  // namespace camsim
