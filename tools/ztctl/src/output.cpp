#include "output.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "decoders.h"
#include "json.h"
#include "ztErrno.h"
#include "ztHexdump.h"

namespace ztctl {

namespace {

// Text for a terminal: non-printable bytes as \xNN.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += (char)c;
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

void renderNodeText(std::string& out, const Node& node, int depth) {
    std::string indent(2 * (size_t)depth, ' ');
    for (size_t k = 0; k < node.items.size(); k++) {
        const Node& item = node.items[k];
        std::string label = node.kind == Node::Kind::Array ? "[" + std::to_string(k) + "]" : item.key;
        switch (item.kind) {
            case Node::Kind::Int: out += indent + label + ": " + std::to_string(item.i) + "\n"; break;
            case Node::Kind::Uint: out += indent + label + ": " + std::to_string(item.u) + "\n"; break;
            case Node::Kind::Text: out += indent + label + ": " + printable(item.text) + "\n"; break;
            case Node::Kind::Bool: out += indent + label + ": " + (item.u ? "yes" : "no") + "\n"; break;
            case Node::Kind::Object:
            case Node::Kind::Array:
                out += indent + label + (item.items.empty() ? ": (none)\n" : ":\n");
                renderNodeText(out, item, depth + 1);
                break;
        }
    }
}

std::string indentLines(const std::string& text, const char* prefix) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += prefix + printable(text.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    return out;
}

std::string header(uint32_t id, const ZtcontrolCommandInfo* info) {
    return std::string(commandName(info)) + " (" + std::to_string(id) + ")";
}

void appendMember(std::string& out, const char* key, const std::string& jsonValue) {
    out += out.size() > 1 ? "," : "";
    out += jsonQuote(key) + ":" + jsonValue;
}

}  // namespace

std::string renderResultText(uint32_t id, const ZtcontrolCommandInfo* info, const Response& response) {
    std::string out = header(id, info) + ": result " + std::to_string(response.result) + " " +
                      ztErrno2Str(response.result) + "\n";
    if (!response.hasPayload) return out;
    const std::vector<uint8_t>& p = response.payload;
    Decoded d = decodePayload(id, p.data(), p.size());
    out += "payload: " + std::to_string(p.size()) + " bytes";
    out += d.kind.empty() ? "" : ", " + d.kind;
    out += d.note.empty() ? "" : " (" + d.note + ")";
    out += "\n";
    if (d.known)
        renderNodeText(out, d.fields, 1);
    else if (!d.messageJson.empty())
        out += indentLines(d.messageText.empty() ? "(all fields unset)\n" : d.messageText, "  ");
    else
        out += hexDump(p.data(), p.size(), "  ");
    return out;
}

std::string renderResultJson(uint32_t id, const ZtcontrolCommandInfo* info, const Response& response) {
    const std::vector<uint8_t>& p = response.payload;
    std::string out = "{";
    appendMember(out, "id", std::to_string(id));
    appendMember(out, "name", jsonQuote(commandName(info)));
    appendMember(out, "result", std::to_string(response.result));
    appendMember(out, "result_name", jsonQuote(ztErrno2Str(response.result)));
    appendMember(out, "payload_length", std::to_string(p.size()));
    appendMember(out, "payload_hex", jsonQuote(hexString(p.data(), p.size())));
    if (response.hasPayload) {
        Decoded d = decodePayload(id, p.data(), p.size());
        if (!d.kind.empty()) appendMember(out, "payload_kind", jsonQuote(d.kind));
        if (d.known) {
            std::string decoded;
            appendJson(decoded, d.fields);
            appendMember(out, "decoded", decoded);
        } else if (!d.messageJson.empty()) {
            appendMember(out, "decoded", d.messageJson);
        }
        if (!d.note.empty()) appendMember(out, "note", jsonQuote(d.note));
    }
    return out + "}\n";
}

std::string renderFailureJson(uint32_t id, const ZtcontrolCommandInfo* info, const char* error,
                              const std::string& detail) {
    std::string out = "{";
    appendMember(out, "id", std::to_string(id));
    appendMember(out, "name", jsonQuote(commandName(info)));
    appendMember(out, "error", jsonQuote(error));
    appendMember(out, "detail", jsonQuote(detail));
    return out + "}\n";
}

std::string renderCommandTableText() {
    size_t count = 0;
    const ZtcontrolCommandInfo* commands = ztcontrolCommands(&count);
    std::string out = " ID  SHORT NAME                             ARGUMENT  NAME\n";
    for (size_t k = 0; k < count; k++) {
        char line[200];
        snprintf(line, sizeof line, "%3u  %-38s %-9s %s\n", commands[k].id, commands[k].shortName,
                 ztArgKindName(commands[k].argKind), commands[k].name);
        out += line;
    }
    return out;
}

std::string renderCommandTableJson() {
    size_t count = 0;
    const ZtcontrolCommandInfo* commands = ztcontrolCommands(&count);
    std::string out = "[";
    for (size_t k = 0; k < count; k++) {
        out += k ? "," : "";
        out += "{\"id\":" + std::to_string(commands[k].id) + ",\"name\":" + jsonQuote(commands[k].name) +
               ",\"short_name\":" + jsonQuote(commands[k].shortName) +
               ",\"argument\":" + jsonQuote(ztArgKindName(commands[k].argKind)) + "}";
    }
    return out + "]\n";
}

std::string hexString(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * length);
    for (size_t k = 0; k < length; k++) {
        out += kDigits[data[k] >> 4];
        out += kDigits[data[k] & 15];
    }
    return out;
}

std::string hexDump(const uint8_t* data, size_t length, const char* prefix) {
    if (length == 0) return "";
    // One dump line is the prefix plus at most 80 characters; a folded run adds a "..." line.
    std::vector<char> buf((length / 16 + 2) * (strlen(prefix) + 90) + 1);
    snhexdump0(buf.data(), (unsigned)buf.size(), data, (unsigned)length, prefix);
    return buf.data();
}

}  // namespace ztctl
