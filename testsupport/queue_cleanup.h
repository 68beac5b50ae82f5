// Message queues a test creates are removed however the test process ends. Normal ends remove them
// in destructors and TearDown; this covers the rest: a crash, an abort and a termination by the
// test runner. Left behind, queues fill the system-wide limit and every later mq_open fails.
#pragma once

#include <mqueue.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <mutex>
#include <string>

// A sanitizer that finds an error ends the process with _exit, without a signal (UBSan does so
// through its own runtime: the asan preset has it abort instead).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZT_CLEANUP_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZT_CLEANUP_SANITIZER 1
#endif
#endif
#ifdef ZT_CLEANUP_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

namespace zt_cleanup {

namespace detail {

// The most recent names of this process; older ones were long since removed in the usual way.
constexpr int kSlots = 512;
constexpr size_t kNameMax = 96;
struct Registry {
    char names[kSlots][kNameMax] = {};
    pid_t owner[kSlots] = {};
    int next = 0;
    std::mutex mu;
    struct sigaction previous[32] = {};
};

inline Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: signals may come during exit
    return *r;
}

// Only what this process registered: forked children must not remove their parent's queues.
inline void removeAll() {
    Registry& r = registry();
    const pid_t self = getpid();
    for (int i = 0; i < kSlots; ++i)
        if (r.owner[i] == self && r.names[i][0]) mq_unlink(r.names[i]);
}

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTERM, SIGINT};

inline void onSignal(int sig, siginfo_t* info, void*) {
    removeAll();
    // The handler there was before (default, or a sanitizer's) sees the signal next: a fault
    // happens again on return, a sent signal is sent again.
    sigaction(sig, &registry().previous[sig], nullptr);
    const bool fault = sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
    if (!fault || info->si_code <= 0) raise(sig);
}

inline void install() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : kSignals) {
            struct sigaction sa;
            memset(&sa, 0, sizeof sa);
            sa.sa_sigaction = onSignal;
            sa.sa_flags = SA_SIGINFO;
            sigemptyset(&sa.sa_mask);
            sigaction(sig, &sa, &registry().previous[sig]);
        }
#ifdef ZT_CLEANUP_SANITIZER
        __sanitizer_set_death_callback(removeAll);
#endif
    });
}

}  // namespace detail

// Registers a queue name and returns it.
inline std::string removeAtCrash(const std::string& name) {
    detail::install();
    detail::Registry& r = detail::registry();
    std::lock_guard<std::mutex> lock(r.mu);
    const int slot = r.next++ % detail::kSlots;
    r.owner[slot] = getpid();
    strncpy(r.names[slot], name.c_str(), detail::kNameMax - 1);
    return name;
}

}  // namespace zt_cleanup
