// Small helpers the settings library exports beside its tables.
#include <string.h>

#include "csi_settings.h"

int parseParam(const char* text, const char* key, std::string& value)
{
    if (text == nullptr || key == nullptr || key[0] == '\0')
        return 0;
    const char* found = strstr(text, key);
    if (found == nullptr)
        return 0;
    const char* start = found + strlen(key);
    value.assign(start, strcspn(start, "&; \t\r\n\v\f"));
    return 1;
}

uint64_t htonll(uint64_t value)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap64(value);
#else
    return value;
#endif
}

uint64_t ntohll(uint64_t value) { return htonll(value); }
