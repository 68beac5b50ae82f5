#include "json.h"

#include <stdio.h>

namespace ztclient {

std::string jsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x7f) {
                    char buf[8];
                    snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += (char)c;
                }
        }
    }
    out += '"';
    return out;
}

void appendJson(std::string& out, const Node& node) {
    switch (node.kind) {
        case Node::Kind::Int: out += std::to_string(node.i); return;
        case Node::Kind::Uint: out += std::to_string(node.u); return;
        case Node::Kind::Text: out += jsonQuote(node.text); return;
        case Node::Kind::Bool: out += node.u ? "true" : "false"; return;
        case Node::Kind::Object:
        case Node::Kind::Array: {
            bool isObject = node.kind == Node::Kind::Object;
            out += isObject ? '{' : '[';
            for (size_t k = 0; k < node.items.size(); k++) {
                if (k) out += ',';
                if (isObject) out += jsonQuote(node.items[k].key) + ':';
                appendJson(out, node.items[k]);
            }
            out += isObject ? '}' : ']';
            return;
        }
    }
}

namespace {

void newline(std::string& out, int depth) {
    out += '\n';
    out.append(2 * (size_t)(depth > 0 ? depth : 0), ' ');
}

// Next character that is not white space, or 0 at the end.
char nextSignificant(const std::string& text, size_t from) {
    for (size_t k = from; k < text.size(); k++)
        if (text[k] != ' ' && text[k] != '\n' && text[k] != '\r' && text[k] != '\t') return text[k];
    return 0;
}

}  // namespace

std::string indentJson(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    int depth = 0;
    bool inString = false, escaped = false;
    for (size_t k = 0; k < text.size(); k++) {
        char c = text[k];
        if (inString) {
            out += c;
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                out += c;
                break;
            case '{':
            case '[': {
                out += c;
                char next = nextSignificant(text, k + 1);
                if (next == (c == '{' ? '}' : ']')) break;  // empty: keep "{}" / "[]" together
                newline(out, ++depth);
                break;
            }
            case '}':
            case ']':
                if (!out.empty() && out.back() != '{' && out.back() != '[') newline(out, --depth);
                out += c;
                break;
            case ',':
                out += c;
                newline(out, depth);
                break;
            case ':': out += ": "; break;
            case ' ':
            case '\n':
            case '\r':
            case '\t': break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace ztclient
