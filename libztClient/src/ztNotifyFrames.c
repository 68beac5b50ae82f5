/* Splitting the notification stream into frames: "LENGTH:" n "\n\n" and n - 1 bytes of text (n
 * counts the sender's NUL, which does not travel). Any split of the bytes is fine. */
#include <string.h>

#include "ztClient.h"
#include "ztClientPriv.h"

enum { FRAME_PREFIX, FRAME_DIGITS, FRAME_SECOND_NEWLINE, FRAME_BODY };
enum { MAX_DIGITS = 10 };
static const char kPrefix[] = "LENGTH:";

int ztFrame_midFrame(const ztFrameSplit* split) { return split->state != FRAME_PREFIX || split->matched != 0; }

long ztNotify_splitFrames(ztFrameSplit* s, char* body, const char* data, size_t length, int* complete, size_t* bodyLen)
{
    size_t k = 0;
    *complete = 0;
    while (k < length && !*complete) {
        const char c = data[k];
        switch (s->state) {
            case FRAME_PREFIX:
                if (c != kPrefix[s->matched]) return -1;
                k++;
                if (++s->matched == sizeof kPrefix - 1) {
                    s->state = FRAME_DIGITS;
                    s->matched = 0;
                    s->length = 0;
                }
                break;
            case FRAME_DIGITS:
                k++;
                if (c >= '0' && c <= '9') {
                    if (++s->matched > MAX_DIGITS) return -1;
                    s->length = s->length * 10 + (size_t)(c - '0');
                    if (s->length > ZTNOTIFY_TEXT_MAX) return -1;
                    break;
                }
                if (c != '\n' || s->matched == 0 || s->length == 0) return -1;
                s->state = FRAME_SECOND_NEWLINE;
                break;
            case FRAME_SECOND_NEWLINE:
                k++;
                if (c != '\n') return -1;
                s->state = FRAME_BODY;
                s->have = 0;
                break;
            default: {
                const size_t want = s->length - 1 - s->have;
                const size_t take = length - k < want ? length - k : want;
                memcpy(body + s->have, data + k, take);
                s->have += take;
                k += take;
                break;
            }
        }
        if (s->state == FRAME_BODY && s->have == s->length - 1) {
            *complete = 1;
            *bodyLen = s->have;
            s->state = FRAME_PREFIX;
            s->matched = 0;
        }
    }
    return (long)k;
}
