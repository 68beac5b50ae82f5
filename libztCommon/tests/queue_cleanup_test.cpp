// Queues registered by a test process are removed when it crashes or is terminated.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "queue_cleanup.h"

namespace {

// The death-test child is a child of the test process: both compute the same name.
std::string probeName(pid_t testProcess) { return "/ztct_" + std::to_string(testProcess) + "_crash_probe"; }

void createThenDie(const std::function<void()>& die)
{
    const std::string name = zt_cleanup::removeAtCrash(probeName(getppid()));
    struct mq_attr attr = {};
    attr.mq_maxmsg = 1;
    attr.mq_msgsize = 16;
    if (mq_open(name.c_str(), O_CREAT | O_RDWR, 0600, &attr) == (mqd_t)-1) _exit(3);
    die();
}

}  // namespace

TEST(QueueCleanup, CrashAbortAndTerminationRemoveTheQueues)
{
    const std::function<void()> ends[] = {
        [] { abort(); },
        [] { raise(SIGTERM); },
        [] { raise(SIGSEGV); },
        [] {  // a real fault, which no sanitizer check stops first
            void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            *static_cast<volatile char*>(page) = 1;
        },
    };
    int n = 0;
    for (const auto& end : ends) {
        SCOPED_TRACE("way to end " + std::to_string(n++));
        EXPECT_DEATH(createThenDie(end), "");
        errno = 0;
        mqd_t left = mq_open(probeName(getpid()).c_str(), O_RDONLY);
        EXPECT_EQ((mqd_t)-1, left);
        EXPECT_EQ(ENOENT, errno);
        if (left != (mqd_t)-1) {
            mq_close(left);
            mq_unlink(probeName(getpid()).c_str());
        }
    }
}
