// The settings library's parseParam on arbitrary text and keys. An input with a NUL byte is a
// key (before it) and a text (after it); every input is also searched for the key that the
// daemon looks up in transcode notifications. The value must be the characters right after the
// first occurrence of the key, up to a separator.
#include <stdint.h>
#include <string.h>

#include <string>

#include "csi_settings.h"
#include "fuzz_support.h"

namespace {

const char kSeparators[] = "&; \t\r\n\v\f";

void check(const std::string& text, const std::string& key)
{
    std::string value;
    const int found = parseParam(text.c_str(), key.c_str(), value);
    const char* at = key.empty() ? nullptr : strstr(text.c_str(), key.c_str());
    FUZZ_CHECK((found != 0) == (at != nullptr));
    if (!found)
        return;
    const char* after = at + key.size();
    FUZZ_CHECK(value.size() <= strlen(after));
    FUZZ_CHECK(value.compare(0, std::string::npos, after, value.size()) == 0);
    FUZZ_CHECK(value.find_first_of(kSeparators) == std::string::npos);
    const char next = after[value.size()];
    FUZZ_CHECK(next == '\0' || strchr(kSeparators, next) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = fuzzSilenceLogs();
    (void)silenced;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string text = nul == std::string::npos ? input : input.substr(nul + 1);
    if (nul != std::string::npos)
        check(text, input.substr(0, nul));
    check(text, "status=");
    check(text, "");
    return 0;
}
