#include "support/log_capture.h"

#include <string.h>

#include <chrono>

#include "ztLog.h"

constexpr size_t kPrefixLength = 15;  // 14-character level name and a colon

LogCapture::LogCapture() { ztUtilSetLogSink(&LogCapture::sink, this); }

LogCapture::~LogCapture() { ztUtilSetLogSink(nullptr, nullptr); }

void LogCapture::sink(int level, const char* line, void* self) { static_cast<LogCapture*>(self)->add(level, line); }

void LogCapture::add(int level, const char* line) {
    std::string text = strlen(line) >= kPrefixLength ? std::string(line + kPrefixLength) : std::string(line);
    size_t at = text.rfind(" @");
    if (at != std::string::npos) text.resize(at);
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({level, text});
    changed_.notify_all();
}

std::vector<LogLine> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

size_t LogCapture::countLocked(const std::function<bool(const LogLine&)>& matches) const {
    size_t n = 0;
    for (const LogLine& l : lines_) n += matches(l) ? 1 : 0;
    return n;
}

size_t LogCapture::count(const std::string& text, int level) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return countLocked([&](const LogLine& l) { return l.text == text && (level < 0 || l.level == level); });
}

size_t LogCapture::countContaining(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return countLocked([&](const LogLine& l) { return l.text.find(fragment) != std::string::npos; });
}

long LogCapture::indexOf(const std::string& text, size_t from) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = from; i < lines_.size(); ++i)
        if (lines_[i].text == text) return (long)i;
    return -1;
}

bool LogCapture::waitFor(const std::string& text, int timeoutMs, size_t occurrences) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return countLocked([&](const LogLine& l) { return l.text == text; }) >= occurrences;
    });
}
