/* Process and string utilities. */
#ifndef ZT_UTIL_H
#define ZT_UTIL_H

#include "ztApi.h"

ZT_BEGIN_DECLS

/* Detaches the process (fork, setsid, chdir, umask 0) unless its parent is already 1.
 * With allow_core non-zero, core dumps are enabled and the directory is "/tmp/fuse_b/".
 * Returns the chdir result (0 or -1), or -1 when fork fails. The parent exits with 0. */
ZT_API int daemon_init_ext(int allow_core);
ZT_API int daemon_init(void);
/* First character that is not a space or tab, or NULL (null, empty or all blanks). */
ZT_API char* trim(char* s);
/* Decodes %XX escapes in place, NUL-terminates and stores the decoded length. A '%' with
 * fewer than two characters after it is kept as it is. */
ZT_API void unescapeUrl(char* s, unsigned* outlen);
/* 1 when the first len characters (up to a NUL) are all digits, else 0. */
ZT_API int validateCardID(const char* s, unsigned len);
/* Persistent random storage-card id from "card" in "/tmp/fuse_d/MISC/" (card 1:
 * "/tmp/fuse_i/MISC/"); out must hold 32 bytes. Returns 0 or -1. */
ZT_API int getCardIDStrFromCard(char* out, int card);
ZT_API int getCardIDStr(char* out);
/* Product name of a model number (50, 51, 55), or NULL. */
ZT_API const char* get_model_name(unsigned model);

ZT_END_DECLS

#endif
