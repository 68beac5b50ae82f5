// ztErrno names, string utilities, model names and daemon_init.
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "ztTestUtil.h"

namespace {

TEST(Errno, NamesOfValues)
{
    const std::pair<int, const char*> rows[] = {
        {0, "ZT_OK"}, {-1, "ZT_ERR"}, {-2, "ZT_ERR_OUTOFMEM"}, {-3, "ZT_ERR_INVALID_PARAM"},
        {-4, "ZT_ERR_INCOMPLETE_CGI_PARAM"}, {-5, "ZT_ERR_MQ_FAIL"}, {-6, "ZT_ERR_NO_SDCARD"},
        {-7, "ZT_ERR_SDCARD_FULL"}, {-8, "ZT_ERR_CREATING_MISC_DIR"}, {-9, "ZT_ERR_UPLOADED_FILE"},
        {-10, "ZT_ERR_FILE_OPEN"}, {-11, "ZT_ERR_FILE_READ"}, {-12, "ZT_ERR_FILE_WRITE"},
        {-14, "ZT_ERR_REMOTE_FILE_OPEN"}, {-15, "ZT_ERR_REMOTE_FILE_READ"}, {-16, "ZT_ERR_REMOTE_FILE_WRITE"},
        {-17, "ZT_ERR_ACCESS_DENIED"}, {-100, "ZT_ERR_DOWNLOAD_FAILED"}, {-101, "ZT_ERR_NAK"},
        {-102, "ZT_ERR_RESPONSE_ALREADY_SENT"}, {-103, "ZT_ERR_NAK_OFF"}, {-104, "ZT_ERR_NOT_SUPPORTED"},
    };
    for (const auto& [value, name] : rows)
        EXPECT_STREQ(ztErrno2Str(value), name) << value;
    for (int code : {-13, 1, -18, -99, -105, -1000})
        EXPECT_STREQ(ztErrno2Str(code), "UNKNOWN") << code;
}

TEST(StrUtil, TrimUnescapeCardIdAndModelNames)
{
    char s[] = "  \tab ", blanks[] = "   ", empty[] = "", newline[] = "\nx";
    EXPECT_EQ(trim(s), s + 3);
    EXPECT_STREQ(s + 3, "ab ") << "trailing blank kept";
    EXPECT_EQ(trim(blanks), nullptr);
    EXPECT_EQ(trim(empty), nullptr);
    EXPECT_EQ(trim(nullptr), nullptr);
    EXPECT_EQ(trim(newline), newline) << "only spaces and tabs are blanks";

    const std::pair<std::string, std::string> rows[] = {
        {"a%20b%2fc", "a b/c"},
        {"%41%4a%4A+x", "AJJ+x"},  // either case; plus is not a blank
        {"", ""},
        {"%0G", "\x10"},           // lenient digits: 'G' counts as 16
        {"%1z", "\x33"},           // and 'z' as 35
        {"ab%4", "ab%4"},          // fewer than two characters after '%': kept as it is
        {"%", "%"},
    };
    for (const auto& [in, out] : rows) {
        std::vector<char> buf(in.begin(), in.end());
        buf.push_back('\0');  // exact heap size: ASan sees a read past the NUL
        unsigned len = 999;
        unescapeUrl(buf.data(), &len);
        EXPECT_EQ(std::string(buf.data()), out) << in;
        EXPECT_EQ(len, out.size()) << in;
    }
    unsigned len = 7;
    char escaped[] = "%41";
    unescapeUrl(nullptr, &len);
    unescapeUrl(escaped, nullptr);
    EXPECT_EQ(len, 7u);
    EXPECT_STREQ(escaped, "%41");

    EXPECT_EQ(validateCardID("12a", 3), 0);
    EXPECT_EQ(validateCardID("12a", 2), 1) << "within the length only";
    EXPECT_EQ(validateCardID("", 5), 1);
    EXPECT_EQ(validateCardID("123", 0), 1);
    EXPECT_EQ(validateCardID("0123456789", 10), 1);
    EXPECT_EQ(validateCardID("12\0ab", 5), 1) << "stops at the NUL";

    const char *a = get_model_name(55), *b = get_model_name(51), *c = get_model_name(50);
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    EXPECT_STRNE(a, b);
    EXPECT_STRNE(b, c);
    for (unsigned none : {52u, 0u, 0xFFFFFFFFu})  // the last: the -1 end row is not a model
        EXPECT_EQ(get_model_name(none), nullptr) << none;
}

// What the detached process reports through a pipe: its first daemon_init, then a second one
// once it has been re-parented.
struct Report {
    int rc, rc2;
    pid_t before, after, after2, sid;
    mode_t mask;
    char cwd[PATH_MAX], cwd2[PATH_MAX];
};

TEST(DaemonInit, DetachesOnceIntoNewSessionAtRoot)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        Report r = {};
        r.before = getpid();
        r.rc = daemon_init();  // this process exits here with 0; its child goes on
        r.after = getpid();
        r.sid = getsid(0);
        r.mask = umask(0);
        if (getcwd(r.cwd, sizeof r.cwd) == nullptr || chdir("/tmp") != 0)
            _exit(1);
        for (int i = 0; i < 200 && getppid() != 1; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r.rc2 = getppid() == 1 ? daemon_init() : -2;  // already a daemon: returns at once
        r.after2 = getpid();
        if (getcwd(r.cwd2, sizeof r.cwd2) == nullptr)
            _exit(1);
        _exit(write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the parent side exits with 0";
    Report r = {};
    ASSERT_EQ(read(fds[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
    close(fds[0]);
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.after, r.before) << "continued in a new process";
    EXPECT_EQ(r.sid, r.after) << "session leader";
    EXPECT_EQ(r.mask, 0u);
    EXPECT_STREQ(r.cwd, "/");
    if (r.rc2 == -2)
        GTEST_SKIP() << "orphans are re-parented to a subreaper here, not to process 1";
    EXPECT_EQ(r.rc2, 0);
    EXPECT_EQ(r.after2, r.after) << "no second fork";
    EXPECT_STREQ(r.cwd2, "/tmp") << "directory unchanged";
}

}  // namespace
