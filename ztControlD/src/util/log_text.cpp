#include "util/log_text.h"

#include <stdio.h>
#include <string.h>

LogText::LogText(const char* text, size_t length) {
    static const size_t kEscaped = 4;  // \xNN
    size_t out = 0;
    for (size_t i = 0; text && i < length && text[i] != '\0'; ++i) {
        const unsigned char c = (unsigned char)text[i];
        const bool control = c < 0x20 || c == 0x7F;
        if (out + (control ? kEscaped : 1) >= sizeof(buffer_)) break;
        if (control) {
            snprintf(buffer_ + out, kEscaped + 1, "\\x%02X", c);
            out += kEscaped;
        } else {
            buffer_[out++] = (char)c;
        }
    }
    buffer_[out] = '\0';
}

LogText::LogText(const char* text) : LogText(text, text ? strlen(text) : 0) {}
