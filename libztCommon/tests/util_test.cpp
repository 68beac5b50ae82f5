// String utilities, model names and daemon_init.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ztTestUtil.h"

namespace {

TEST(Trim, SkipsLeadingBlanksOnly)
{
    char s[] = "  \tab ";
    EXPECT_EQ(trim(s), s + 3);
    EXPECT_STREQ(trim(s), "ab ");
    char blanks[] = "   ";
    EXPECT_EQ(trim(blanks), nullptr);
    char empty[] = "";
    EXPECT_EQ(trim(empty), nullptr);
    EXPECT_EQ(trim(nullptr), nullptr);
    char newline[] = "\nx";
    EXPECT_EQ(trim(newline), newline) << "only spaces and tabs are blanks";
}

std::string Unescape(std::string in, unsigned* len)
{
    std::vector<char> buf(in.begin(), in.end());
    buf.push_back('\0');
    unescapeUrl(buf.data(), len);
    return std::string(buf.data());
}

TEST(UnescapeUrl, DecodesEscapesInPlace)
{
    unsigned len = 999;
    EXPECT_EQ(Unescape("a%20b%2fc", &len), "a b/c");
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(Unescape("%41%4a%4A+x", &len), "AJJ+x") << "plus is not a blank";
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(Unescape("", &len), "");
    EXPECT_EQ(len, 0u);
}

TEST(UnescapeUrl, LenientDigitsAndShortEscapes)
{
    unsigned len = 0;
    // 'G' counts as 16 and 'z' as 35: no error, just arithmetic.
    EXPECT_EQ(Unescape("%0G", &len), std::string(1, static_cast<char>(0x10)));
    EXPECT_EQ(Unescape("%1z", &len), std::string(1, static_cast<char>(0x10 + 35)));
    // Fewer than two characters after '%': kept, and nothing past the NUL is read.
    EXPECT_EQ(Unescape("ab%4", &len), "ab%4");
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(Unescape("%", &len), "%");
    EXPECT_EQ(len, 1u);
    char exact[4] = {'x', '%', '4', '\0'};  // heap-free but exact: ASan checks the stack bounds
    unescapeUrl(exact, &len);
    EXPECT_EQ(len, 3u);
}

TEST(UnescapeUrl, NullArgumentsDoNothing)
{
    unsigned len = 7;
    unescapeUrl(nullptr, &len);
    EXPECT_EQ(len, 7u);
    char s[] = "%41";
    unescapeUrl(s, nullptr);
    EXPECT_STREQ(s, "%41");
}

TEST(ValidateCardID, DigitsOnlyWithinLength)
{
    EXPECT_EQ(validateCardID("12a", 3), 0);
    EXPECT_EQ(validateCardID("12a", 2), 1);
    EXPECT_EQ(validateCardID("", 5), 1);
    EXPECT_EQ(validateCardID("123", 0), 1);
    EXPECT_EQ(validateCardID("0123456789", 10), 1);
    EXPECT_EQ(validateCardID("12 3", 4), 0);
    EXPECT_EQ(validateCardID("12\n", 3), 0);
    EXPECT_EQ(validateCardID("12\0ab", 5), 1) << "stops at the NUL";
}

TEST(ModelName, ThreeKnownModels)
{
    const char* a = get_model_name(55);
    const char* b = get_model_name(51);
    const char* c = get_model_name(50);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_STRNE(a, b);
    EXPECT_STRNE(b, c);
    EXPECT_EQ(get_model_name(52), nullptr);
    EXPECT_EQ(get_model_name(0), nullptr);
    EXPECT_EQ(get_model_name(0xFFFFFFFFu), nullptr) << "the -1 end row is not a model";
}

// What a detached process reports through a pipe.
struct DaemonReport {
    int rc;
    pid_t pidBefore;
    pid_t pidAfter;
    pid_t sid;
    mode_t umask;
    char cwd[PATH_MAX];
};

TEST(DaemonInit, DetachesIntoNewSessionAtRoot)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        DaemonReport r = {};
        r.pidBefore = getpid();
        r.rc = daemon_init();  // the child exits here with 0; its own child goes on
        r.pidAfter = getpid();
        r.sid = getsid(0);
        r.umask = umask(0);
        if (getcwd(r.cwd, sizeof r.cwd) == nullptr)
            r.cwd[0] = '\0';
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the parent side exits with 0";
    DaemonReport r = {};
    ASSERT_EQ(read(fds[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
    close(fds[0]);
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.pidAfter, r.pidBefore) << "continued in a new process";
    EXPECT_EQ(r.sid, r.pidAfter) << "session leader";
    EXPECT_EQ(r.umask, 0u);
    EXPECT_STREQ(r.cwd, "/");
}

TEST(DaemonInit, ReturnsAtOnceWhenParentIsInit)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Orphan a grandchild so that it is re-parented, normally to process 1.
        if (fork() != 0)
            _exit(0);
        DaemonReport r = {};
        for (int i = 0; i < 200 && getppid() != 1; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r.pidBefore = getppid() == 1 ? getpid() : -1;
        char before[PATH_MAX];
        if (getcwd(before, sizeof before) == nullptr)
            before[0] = '\0';
        r.rc = r.pidBefore > 0 ? daemon_init() : -1;
        r.pidAfter = getpid();
        if (getcwd(r.cwd, sizeof r.cwd) == nullptr || strcmp(r.cwd, before) != 0)
            r.cwd[0] = '\0';
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    waitpid(child, nullptr, 0);
    DaemonReport r = {};
    ASSERT_EQ(read(fds[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
    close(fds[0]);
    if (r.pidBefore == -1)
        GTEST_SKIP() << "orphans are re-parented to a subreaper here, not to process 1";
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.pidAfter, r.pidBefore) << "no fork";
    EXPECT_STRNE(r.cwd, "") << "directory unchanged";
}

}  // namespace
