/* Persistent random identifier of a storage card, kept in a file on the card. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "ztUtil.h"

#define CARD_ID_SIZE 32 /* the caller's output buffer */
#define CARD_LINE_MAX 30
#define RAND_DRAWS 10

/* Creates dir (and missing parents) with mode 0777; 0 or -1. */
static int make_dirs(const char* dir)
{
    char path[64];
    snprintf(path, sizeof path, "%s", dir);
    for (char* p = path + 1; *p != '\0'; p++) {
        if (*p != '/')
            continue;
        *p = '\0';
        if (mkdir(path, 0777) != 0 && errno != EEXIST)
            return -1;
        *p = '/';
    }
    return mkdir(path, 0777) == 0 || errno == EEXIST ? 0 : -1;
}

/* 1 when a valid id was read into out; 0 otherwise (an invalid file is deleted). */
static int read_card_id(const char* file, char* out)
{
    FILE* f = fopen(file, "r");
    if (f == NULL)
        return 0;
    char line[CARD_LINE_MAX + 1];
    int got = fgets(line, sizeof line, f) != NULL;
    fclose(f);
    if (!got)
        return 0;
    line[strcspn(line, "\n")] = '\0';
    if (line[0] == '\0')
        return 0; /* empty: overwritten below */
    if (validateCardID(line, (unsigned)strlen(line))) {
        snprintf(out, CARD_ID_SIZE, "%s", line);
        return 1;
    }
    unlink(file);
    return 0;
}

int getCardIDStrFromCard(char* out, int card)
{
    if (out == NULL) {
        fputs("Cannot call with null pointer\n", stderr);
        return -1;
    }
    const char* dir = card == 1 ? "/tmp/fuse_i/MISC/" : "/tmp/fuse_d/MISC/";
    char file[64];
    snprintf(file, sizeof file, "%scard", dir);
    snprintf(out, CARD_ID_SIZE, "0");

    struct stat st;
    char bare[64]; /* without the trailing slash, so that a plain file is seen as such */
    snprintf(bare, sizeof bare, "%.*s", (int)strlen(dir) - 1, dir);
    if (stat(bare, &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            fprintf(stderr, "Path:%s exists and is a NOT folder\n", dir);
            return -1;
        }
    } else if (make_dirs(bare) != 0) {
        fprintf(stderr, "Failed to create folder:%s\n", dir);
        return -1;
    }

    if (read_card_id(file, out))
        return 0;

    FILE* f = fopen(file, "w");
    if (f == NULL) {
        fprintf(stderr, "Failed to create file  %s\n", file);
        return -1;
    }
    srand((unsigned)time(NULL));
    int r = 0;
    for (int i = 0; i < RAND_DRAWS && r == 0; i++)
        r = rand();
    if (r == 0) {
        fputs("Failed to get random number\n", stderr);
        fclose(f);
        return -1;
    }
    long long id = (long long)r * r - 1;
    snprintf(out, CARD_ID_SIZE, "%lld", id);
    int bad = fprintf(f, "%s", out) < 0;
    bad |= fclose(f) != 0;
    if (bad) {
        fputs("Failed to get write card_id to file\n", stderr);
        return -1;
    }
    return 0;
}

int getCardIDStr(char* out)
{
    return getCardIDStrFromCard(out, 0);
}
