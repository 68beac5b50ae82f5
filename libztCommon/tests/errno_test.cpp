// ztErrno names.
#include <gtest/gtest.h>

#include <cstring>

#include "ztErrno.h"

namespace {

TEST(Errno, EveryCodeHasItsName)
{
    const struct {
        int code;
        const char* name;
    } rows[] = {
        {ZT_OK, "ZT_OK"},
        {ZT_ERR, "ZT_ERR"},
        {ZT_ERR_OUTOFMEM, "ZT_ERR_OUTOFMEM"},
        {ZT_ERR_INVALID_PARAM, "ZT_ERR_INVALID_PARAM"},
        {ZT_ERR_INCOMPLETE_CGI_PARAM, "ZT_ERR_INCOMPLETE_CGI_PARAM"},
        {ZT_ERR_MQ_FAIL, "ZT_ERR_MQ_FAIL"},
        {ZT_ERR_NO_SDCARD, "ZT_ERR_NO_SDCARD"},
        {ZT_ERR_SDCARD_FULL, "ZT_ERR_SDCARD_FULL"},
        {ZT_ERR_CREATING_MISC_DIR, "ZT_ERR_CREATING_MISC_DIR"},
        {ZT_ERR_UPLOADED_FILE, "ZT_ERR_UPLOADED_FILE"},
        {ZT_ERR_FILE_OPEN, "ZT_ERR_FILE_OPEN"},
        {ZT_ERR_FILE_READ, "ZT_ERR_FILE_READ"},
        {ZT_ERR_FILE_WRITE, "ZT_ERR_FILE_WRITE"},
        {ZT_ERR_REMOTE_FILE_OPEN, "ZT_ERR_REMOTE_FILE_OPEN"},
        {ZT_ERR_REMOTE_FILE_READ, "ZT_ERR_REMOTE_FILE_READ"},
        {ZT_ERR_REMOTE_FILE_WRITE, "ZT_ERR_REMOTE_FILE_WRITE"},
        {ZT_ERR_ACCESS_DENIED, "ZT_ERR_ACCESS_DENIED"},
        {ZT_ERR_NAK, "ZT_ERR_NAK"},
        {ZT_ERR_RESPONSE_ALREADY_SENT, "ZT_ERR_RESPONSE_ALREADY_SENT"},
        {ZT_ERR_NAK_OFF, "ZT_ERR_NAK_OFF"},
        {ZT_ERR_NOT_SUPPORTED, "ZT_ERR_NOT_SUPPORTED"},
        {ZT_ERR_DOWNLOAD_FAILED, "ZT_ERR_DOWNLOAD_FAILED"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(ztErrno2Str(row.code), row.name) << row.code;
}

TEST(Errno, CodeValues)
{
    EXPECT_EQ(ZT_ERR_ACCESS_DENIED, -17);
    EXPECT_EQ(ZT_ERR_REMOTE_FILE_OPEN, -14);
    EXPECT_EQ(ZT_ERR_DOWNLOAD_FAILED, -100);
    EXPECT_EQ(ZT_ERR_NAK, -101);
    EXPECT_EQ(ZT_ERR_NOT_SUPPORTED, -104);
    EXPECT_STREQ(ztErrno2Str(-100), "ZT_ERR_DOWNLOAD_FAILED");
}

TEST(Errno, UnknownCodes)
{
    for (int code : {-13, 1, -18, -99, -105, -1000})
        EXPECT_STREQ(ztErrno2Str(code), "UNKNOWN") << code;
}

}  // namespace
