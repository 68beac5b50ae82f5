// Captures the level log through the libztCommon sink hook, for assertions on exact log lines.
// Waiting for a line the worker thread logged also orders the test after everything the worker
// did before logging it (the capture's mutex), so the test may then read server fields.
#ifndef ZTCONTROLD_TESTS_LOG_CAPTURE_H
#define ZTCONTROLD_TESTS_LOG_CAPTURE_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct LogLine {
    int level;
    std::string text;  // the message alone: no level prefix, no " @file:line" suffix
};

class LogCapture {
public:
    LogCapture();   // installs the sink
    ~LogCapture();  // uninstalls it
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> lines() const;
    void clear();
    // Lines whose message equals text exactly (and, when level >= 0, at that level).
    size_t count(const std::string& text, int level = -1) const;
    bool contains(const std::string& text, int level = -1) const { return count(text, level) > 0; }
    // Lines whose message contains the fragment.
    size_t countContaining(const std::string& fragment) const;
    // Waits until count(text) reaches occurrences; false on time-out.
    bool waitFor(const std::string& text, int timeoutMs = 5000, size_t occurrences = 1);
    // Orders everything this thread did so far before whatever another thread logs next.
    void barrier() const { std::lock_guard<std::mutex> lock(mutex_); }
    // Position of the first line equal to text, or -1.
    long indexOf(const std::string& text, size_t from = 0) const;

private:
    // Lines that match, with the mutex held.
    size_t countLocked(const std::function<bool(const LogLine&)>& matches) const;
    static void sink(int level, const char* line, void* self);
    void add(int level, const char* line);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<LogLine> lines_;
};

#endif
