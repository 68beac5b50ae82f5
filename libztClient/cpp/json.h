// JSON text: string escaping, rendering of decoded trees, and the small indenter that
// pretty-prints notification frames.
#ifndef ZTCLIENT_JSON_H
#define ZTCLIENT_JSON_H

#include <string>

#include "decoders.h"

namespace ztclient {

// Quoted JSON string. Bytes outside printable ASCII are written as \u00XX, so the result is
// valid JSON whatever the input bytes are.
std::string jsonQuote(const std::string& text);

// Compact JSON of a node's value (the key is the caller's).
void appendJson(std::string& out, const Node& node);

// Re-indents JSON text: two spaces a level, one member or item a line. It follows strings and
// escapes but does not validate; malformed input is reformatted as well as it goes, never
// rejected, and nothing is read past the end.
std::string indentJson(const std::string& text);

}  // namespace ztclient

#endif
