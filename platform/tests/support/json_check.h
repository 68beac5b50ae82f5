// Strict JSON for tests: proves that the texts the daemon assembles from the settings library's
// members are valid JSON, and looks values up in them.
#ifndef PLATFORM_TEST_JSON_CHECK_H
#define PLATFORM_TEST_JSON_CHECK_H

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <vector>

// Members keep document order, as the daemon wrote them.
using Json = nlohmann::ordered_json;

// The whole text as one value (blanks around it allowed); a discarded value (is_discarded()) on
// any error, a key repeated inside one object included, which the library itself would accept.
inline Json parseJson(const std::string& text) {
    std::vector<std::set<std::string>> keys;  // of each object still open
    bool repeated = false;
    Json doc = Json::parse(
        text,
        [&](int, Json::parse_event_t event, Json& parsed) {
            if (event == Json::parse_event_t::object_start) keys.emplace_back();
            if (event == Json::parse_event_t::object_end) keys.pop_back();
            if (event == Json::parse_event_t::key && !keys.back().insert(parsed.get<std::string>()).second)
                repeated = true;
            return true;
        },
        false);
    return repeated ? Json(Json::value_t::discarded) : doc;
}

#endif
