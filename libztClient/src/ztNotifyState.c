/* Merging notification texts into the current state. A text is one JSON object whose members are
 * objects of items ({"status":{"31":1},"settings":{"2":3}}); each item replaces the one with the
 * same group and key. A top-level member that is not an object is kept under its own name with
 * an empty key. Values are kept as their JSON text. */
#include <string.h>

#include "ztClient.h"
#include "ztClientPriv.h"

typedef struct {
    const char* p;
    const char* end;
} Cursor;

static void skipBlanks(Cursor* c)
{
    while (c->p < c->end && (*c->p == ' ' || *c->p == '\n' || *c->p == '\r' || *c->p == '\t')) c->p++;
}

static int take(Cursor* c, char ch)
{
    skipBlanks(c);
    if (c->p >= c->end || *c->p != ch) return 0;
    c->p++;
    return 1;
}

/* A string; on success [*start, *start + *len) is its text between the quotes, as written. */
static int string(Cursor* c, const char** start, size_t* len)
{
    if (!take(c, '"')) return 0;
    *start = c->p;
    while (c->p < c->end && *c->p != '"') c->p += (*c->p == '\\' && c->end - c->p > 1) ? 2 : 1;
    if (c->p >= c->end) return 0;
    *len = (size_t)(c->p - *start);
    c->p++;
    return 1;
}

/* Any JSON value, by its extent: strings skipped whole, brackets counted. */
static int value(Cursor* c, const char** start, size_t* len)
{
    skipBlanks(c);
    *start = c->p;
    int depth = 0;
    while (c->p < c->end) {
        const char ch = *c->p;
        if (ch == '"') {
            const char* s;
            size_t n;
            if (!string(c, &s, &n)) return 0;
            if (depth == 0) break;
            continue;
        }
        if (depth == 0 && (ch == ',' || ch == '}' || ch == ']' || ch == ' ' || ch == '\n' || ch == '\r' ||
                           ch == '\t'))
            break;
        if (ch == '{' || ch == '[') depth++;
        if (ch == '}' || ch == ']') depth--;
        c->p++;
        if (depth == 0 && (ch == '}' || ch == ']')) break;
    }
    *len = (size_t)(c->p - *start);
    return depth == 0 && *len > 0;
}

static void store(ztState* s, const char* group, size_t groupLen, const char* key, size_t keyLen, const char* val,
                  size_t valLen)
{
    /* Members that do not fit a slot are not kept (see ztNotify_value). */
    if (groupLen >= ZTSTATE_GROUP || keyLen >= ZTSTATE_KEY || valLen >= ZTSTATE_VALUE) return;
    ztStateItem* item = NULL;
    for (size_t i = 0; i < s->count && !item; i++)
        if (strncmp(s->items[i].group, group, groupLen) == 0 && s->items[i].group[groupLen] == 0 &&
            strncmp(s->items[i].key, key, keyLen) == 0 && s->items[i].key[keyLen] == 0)
            item = &s->items[i];
    if (!item) {
        if (s->count == ZTSTATE_ITEMS) return;
        item = &s->items[s->count++];
        memcpy(item->group, group, groupLen);
        item->group[groupLen] = 0;
        memcpy(item->key, key, keyLen);
        item->key[keyLen] = 0;
    }
    memcpy(item->value, val, valLen);
    item->value[valLen] = 0;
}

static int mergeGroup(ztState* s, Cursor* c, const char* group, size_t groupLen)
{
    if (take(c, '}')) return 1;
    do {
        const char *key, *val;
        size_t keyLen, valLen;
        if (!string(c, &key, &keyLen) || !take(c, ':') || !value(c, &val, &valLen)) return 0;
        store(s, group, groupLen, key, keyLen, val, valLen);
    } while (take(c, ','));
    return take(c, '}');
}

int ztState_merge(ztState* s, const char* text, size_t length)
{
    Cursor c = {text, text + length};
    if (!take(&c, '{')) return ZTCLIENT_ERR_MALFORMED;
    if (take(&c, '}')) return 0;
    do {
        const char *group, *val;
        size_t groupLen, valLen;
        if (!string(&c, &group, &groupLen) || !take(&c, ':')) return ZTCLIENT_ERR_MALFORMED;
        if (take(&c, '{')) {
            if (!mergeGroup(s, &c, group, groupLen)) return ZTCLIENT_ERR_MALFORMED;
        } else {
            if (!value(&c, &val, &valLen)) return ZTCLIENT_ERR_MALFORMED;
            store(s, group, groupLen, "", 0, val, valLen);
        }
    } while (take(&c, ','));
    return take(&c, '}') ? 0 : ZTCLIENT_ERR_MALFORMED;
}

const char* ztState_value(const ztState* s, const char* group, const char* key)
{
    for (size_t i = 0; i < s->count; i++)
        if (strcmp(s->items[i].group, group) == 0 && strcmp(s->items[i].key, key) == 0) return s->items[i].value;
    return NULL;
}
