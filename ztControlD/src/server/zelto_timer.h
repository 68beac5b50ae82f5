// One-shot, retriggerable timer on its own thread: the callback runs once, an interval after the
// last arming. The command server uses it to store a preset edit 200 ms after the last zoom change.
#ifndef ZELTO_TIMER_H
#define ZELTO_TIMER_H

#include <pthread.h>
#include <time.h>

typedef int (*ZeltoTimerCallback)(void* argument);

class ZeltoTimer {
public:
    ZeltoTimer();
    virtual ~ZeltoTimer();

    ZeltoTimer(const ZeltoTimer&) = delete;
    ZeltoTimer& operator=(const ZeltoTimer&) = delete;

    // Arms (or re-arms) the timer: the callback runs intervalMs after this call unless armed again.
    void arm(int intervalMs, ZeltoTimerCallback callback, void* argument);
    // The same for a caller that already holds mutex() (it tests state shared with the callback
    // before arming).
    void armLocked(int intervalMs, ZeltoTimerCallback callback, void* argument);

    // Guards the timer's fields; the callback runs with it held, so state shared with the
    // callback (the server's presetEditOpen) is guarded by it too.
    pthread_mutex_t* mutex() { return &mutex_; }

    // Real-time deadline intervalMs after now, nanoseconds carried into seconds.
    static timespec deadlineAfter(const timespec& now, int intervalMs);

protected:
    virtual void run();

private:
    static void* threadEntry(void* timer);

    bool disabled_ = false;
    bool stop_ = false;
    int interval_ = -1;
    ZeltoTimerCallback callback_ = nullptr;
    void* argument_ = nullptr;
    pthread_t thread_;
    bool threadStarted_ = false;
    pthread_cond_t cond_;
    pthread_mutex_t mutex_;
};

#endif
