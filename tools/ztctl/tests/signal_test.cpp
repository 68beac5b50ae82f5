// The real ztctl binary, interrupted while it waits for an answer, removes its reply mailbox.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fake_daemon.h"

using namespace ztctl_test;

TEST(Signals, InterruptedWhileWaitingLeavesNoReplyMailbox) {
    for (int sig : {SIGINT, SIGTERM}) {
        FakeAnswer silent;
        silent.kind = FakeAnswer::Kind::Silence;
        FakeDaemon daemon(silent);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(ZTCTL_BINARY, "ztctl", "--timeout", "30", "--mailbox", daemon.mailbox().c_str(), "shutter", "1",
                  (char*)nullptr);
            _exit(127);
        }
        const SeenRequest& seen = daemon.seen();  // returns once the request has arrived
        ASSERT_TRUE(seen.received);
        EXPECT_TRUE(mailboxExists(seen.replyMailbox));  // created before sending, still waiting
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_FALSE(mailboxExists(seen.replyMailbox));
    }
}
