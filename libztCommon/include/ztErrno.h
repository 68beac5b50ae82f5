/* ztErrno: signed 32-bit result codes, 0 for success, negative for failure. */
#ifndef ZT_ERRNO_H
#define ZT_ERRNO_H

#include <stdint.h>

#include "ztApi.h"

ZT_BEGIN_DECLS

typedef int32_t ztErrno;

enum {
    ZT_OK = 0,
    ZT_ERR = -1,
    ZT_ERR_OUTOFMEM = -2,
    ZT_ERR_INVALID_PARAM = -3,
    ZT_ERR_INCOMPLETE_CGI_PARAM = -4,
    ZT_ERR_MQ_FAIL = -5,
    ZT_ERR_NO_SDCARD = -6,
    ZT_ERR_SDCARD_FULL = -7,
    ZT_ERR_CREATING_MISC_DIR = -8,
    ZT_ERR_UPLOADED_FILE = -9,
    ZT_ERR_FILE_OPEN = -10,
    ZT_ERR_FILE_READ = -11,
    ZT_ERR_FILE_WRITE = -12,
    /* -13 has no name */
    ZT_ERR_REMOTE_FILE_OPEN = -14,
    ZT_ERR_REMOTE_FILE_READ = -15,
    ZT_ERR_REMOTE_FILE_WRITE = -16,
    ZT_ERR_ACCESS_DENIED = -17,
    ZT_ERR_NAK = -101,
    ZT_ERR_RESPONSE_ALREADY_SENT = -102,
    ZT_ERR_NAK_OFF = -103,
    ZT_ERR_NOT_SUPPORTED = -104,
    ZT_ERR_DOWNLOAD_FAILED = -100
};

/* Name of a code ("ZT_ERR_NAK"...), or "UNKNOWN". Static string, never null. */
ZT_API const char* ztErrno2Str(int code);

ZT_END_DECLS

#endif
