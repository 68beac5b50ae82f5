/* Names of the ztErrno codes. */
#include "ztErrno.h"

#include <stddef.h>

#define ROW(code) {#code, code}

static const struct {
    const char* name;
    int code;
} ztErrnoStrMap[] = {
    ROW(ZT_OK),
    ROW(ZT_ERR),
    ROW(ZT_ERR_OUTOFMEM),
    ROW(ZT_ERR_INVALID_PARAM),
    ROW(ZT_ERR_INCOMPLETE_CGI_PARAM),
    ROW(ZT_ERR_MQ_FAIL),
    ROW(ZT_ERR_NO_SDCARD),
    ROW(ZT_ERR_SDCARD_FULL),
    ROW(ZT_ERR_CREATING_MISC_DIR),
    ROW(ZT_ERR_UPLOADED_FILE),
    ROW(ZT_ERR_FILE_OPEN),
    ROW(ZT_ERR_FILE_READ),
    ROW(ZT_ERR_FILE_WRITE),
    ROW(ZT_ERR_REMOTE_FILE_OPEN),
    ROW(ZT_ERR_REMOTE_FILE_READ),
    ROW(ZT_ERR_REMOTE_FILE_WRITE),
    ROW(ZT_ERR_ACCESS_DENIED),
    ROW(ZT_ERR_NAK),
    ROW(ZT_ERR_RESPONSE_ALREADY_SENT),
    ROW(ZT_ERR_NAK_OFF),
    ROW(ZT_ERR_NOT_SUPPORTED),
    ROW(ZT_ERR_DOWNLOAD_FAILED),
};

const char* ztErrno2Str(int code)
{
    for (size_t i = 0; i < sizeof ztErrnoStrMap / sizeof ztErrnoStrMap[0]; i++) {
        if (ztErrnoStrMap[i].code == code)
            return ztErrnoStrMap[i].name;
    }
    return "UNKNOWN";
}
