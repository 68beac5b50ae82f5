// A small strict JSON reader for tests: enough to prove that the texts the daemon assembles
// from the settings library's members are valid JSON, and to look values up in them.
#ifndef PLATFORM_TEST_JSON_CHECK_H
#define PLATFORM_TEST_JSON_CHECK_H

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum Kind { Null, Bool, Number, String, Object, Array } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<std::pair<std::string, JsonValue>> members;  // in document order
    std::vector<JsonValue> items;

    // The member with the key, or null (also when this is not an object).
    const JsonValue* find(const std::string& key) const;
};

// Parses the whole text (blanks around allowed); false with a reason on the first error,
// including a key repeated inside one object.
bool parseJson(const std::string& text, JsonValue& out, std::string* error = nullptr);

#endif
