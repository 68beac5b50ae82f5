/* Small string utilities: trim, URL unescaping, card-id check. */
#include <ctype.h>
#include <stddef.h>

#include "ztUtil.h"

char* trim(char* s)
{
    if (s == NULL)
        return NULL;
    while (*s == ' ' || *s == '\t')
        s++;
    return *s != '\0' ? s : NULL;
}

/* Lenient hex digit: below 'A' a decimal digit, otherwise a letter of either case. */
static int nibble(char c)
{
    return c < 'A' ? c - '0' : toupper((unsigned char)c) - 55;
}

void unescapeUrl(char* s, unsigned* outlen)
{
    if (s == NULL || outlen == NULL)
        return;
    char* w = s;
    for (const char* r = s; *r != '\0';) {
        if (r[0] == '%' && r[1] != '\0' && r[2] != '\0') {
            *w++ = (char)((nibble(r[1]) << 4) + nibble(r[2]));
            r += 3;
        } else {
            *w++ = *r++;
        }
    }
    *w = '\0';
    *outlen = (unsigned)(w - s);
}

int validateCardID(const char* s, unsigned len)
{
    if (s == NULL)
        return 1;
    for (unsigned i = 0; i < len && s[i] != '\0'; i++) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
    }
    return 1;
}
