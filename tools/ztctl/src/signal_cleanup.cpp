#include "signal_cleanup.h"

#include <mqueue.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace ztctl {

namespace {

char g_mailbox[64];
volatile sig_atomic_t g_mailboxSet = 0;

void onSignal(int sig) {
    if (g_mailboxSet) mq_unlink(g_mailbox);  // a plain system call: safe in a handler
    _exit(128 + sig);
}

}  // namespace

void installSignalCleanup() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void registerMailboxForCleanup(const char* name) {
    g_mailboxSet = 0;
    if (strlen(name) >= sizeof g_mailbox) return;
    strcpy(g_mailbox, name);
    g_mailboxSet = 1;
}

void clearMailboxForCleanup() { g_mailboxSet = 0; }

}  // namespace ztctl
