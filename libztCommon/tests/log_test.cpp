// Level log: line layout, the 349-character cut, the file-and-line suffix, the call-site
// level test, ztUtilSetLogLevel and the sink hook.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "ztTestUtil.h"

using testing::HasSubstr;

namespace {

// Collects level-log lines through the sink hook for the lifetime of the object.
class LogCapture {
public:
    LogCapture() { ztUtilSetLogSink(&LogCapture::Sink, this); }
    ~LogCapture() { ztUtilSetLogSink(nullptr, nullptr); }
    std::vector<std::pair<int, std::string>> Take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(lines_);
    }

private:
    static void Sink(int level, const char* line, void* ctx)
    {
        auto* self = static_cast<LogCapture*>(ctx);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(level, line);
    }
    std::mutex mutex_;
    std::vector<std::pair<int, std::string>> lines_;
};

class LevelLog : public testing::Test {
protected:
    zttest::GlobalsGuard guard;
    LogCapture capture;
};

TEST_F(LevelLog, LineHoldsLevelNameMessageFileAndLine)
{
    g_logLevel = UTIL_LOG_TRACE;
    int line = __LINE__ + 1;
    ZTLOG(UTIL_LOG_WARN, "camera %s answered %d", "zoom", -3);
    auto lines = capture.Take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, UTIL_LOG_WARN);
    EXPECT_EQ(lines[0].second, "UTIL_LOG_WARN :camera zoom answered -3 @log_test.cpp:" + std::to_string(line));
}

TEST_F(LevelLog, EveryLevelNameIsFourteenCharacters)
{
    const char* names[] = {"UTIL_LOG_OFF  ", "UTIL_LOG_FATAL", "UTIL_LOG_ERROR", "UTIL_LOG_WARN ",
                           "UTIL_LOG_DEBUG", "UTIL_LOG_INFO ", "UTIL_LOG_TRACE"};
    for (int level = 0; level <= 6; level++)
        ztUtilKlogMsgLevel(level, 7, "f.c", "m");
    ztUtilKlogMsgLevel(7, 7, "f.c", "m");  // out of the table: a placeholder name, no overrun
    auto lines = capture.Take();
    ASSERT_EQ(lines.size(), 8u);
    for (int level = 0; level <= 6; level++)
        EXPECT_EQ(lines[level].second, std::string(names[level]) + ":m @f.c:7");
    EXPECT_EQ(lines[7].second, "UTIL_LOG_?????:m @f.c:7");
}

TEST_F(LevelLog, LongMessageIsCutAt349AndKeepsSuffix)
{
    std::string message(500, 'x');
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 1234, "daemon.cpp", "%s", message.c_str());
    auto lines = capture.Take();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0].second;
    EXPECT_EQ(line.substr(0, 15), "UTIL_LOG_ERROR:");
    EXPECT_EQ(line.substr(15, 334), std::string(334, 'x'));
    EXPECT_EQ(line.substr(349), " @daemon.cpp:1234");
}

TEST_F(LevelLog, CutBoundary)
{
    // 334 characters exactly fit; one more is cut back to the same 349-character head.
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 1, "a.c", "%s", std::string(334, 'y').c_str());
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 1, "a.c", "%s", std::string(335, 'y').c_str());
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 1, "a.c", "%s", std::string(333, 'y').c_str());
    auto lines = capture.Take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].second, "UTIL_LOG_ERROR:" + std::string(334, 'y') + " @a.c:1");
    EXPECT_EQ(lines[1].second, lines[0].second);
    EXPECT_EQ(lines[2].second, "UTIL_LOG_ERROR:" + std::string(333, 'y') + " @a.c:1");
}

TEST_F(LevelLog, SuffixThatDoesNotFitBecomesABlank)
{
    std::string file(100, 'f');
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 5, file.c_str(), "%s", std::string(400, 'z').c_str());
    // After a cut the suffix has 90 characters: " @", 85 f's, ":5" would need 89 — fits.
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 5, std::string(85, 'f').c_str(), "%s", std::string(400, 'z').c_str());
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 5, std::string(87, 'f').c_str(), "%s", std::string(400, 'z').c_str());
    // A short message leaves room up to 440 characters.
    ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 5, file.c_str(), "short");
    auto lines = capture.Take();
    ASSERT_EQ(lines.size(), 4u);
    std::string head = "UTIL_LOG_ERROR:" + std::string(334, 'z');
    EXPECT_EQ(lines[0].second, head + " ");
    EXPECT_EQ(lines[1].second, head + " @" + std::string(85, 'f') + ":5");
    EXPECT_EQ(lines[1].second.size(), 349u + 89u);
    EXPECT_EQ(lines[2].second, head + " ") << "91 characters needed, 90 available";
    EXPECT_EQ(lines[3].second, "UTIL_LOG_ERROR:short @" + file + ":5");
}

TEST_F(LevelLog, DisabledLevelDoesNotEvaluateArguments)
{
    g_logLevel = UTIL_LOG_ERROR;
    int evaluated = 0;
    ZTLOG(UTIL_LOG_DEBUG, "%d", ++evaluated);
    ZTLOG(UTIL_LOG_INFO, "%d", ++evaluated);
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(capture.Take().empty());
    ZTLOG(UTIL_LOG_ERROR, "%d", ++evaluated);
    ZTLOG(UTIL_LOG_FATAL, "%d", ++evaluated);
    EXPECT_EQ(evaluated, 2);
    EXPECT_EQ(capture.Take().size(), 2u);
}

TEST_F(LevelLog, SetLogLevelIgnoresOutOfRange)
{
    ztUtilSetLogLevel(6);
    EXPECT_EQ(g_logLevel, 6);
    ztUtilSetLogLevel(7);
    EXPECT_EQ(g_logLevel, 6);
    ztUtilSetLogLevel(0xFFFFFFFFu);
    EXPECT_EQ(g_logLevel, 6);
    ztUtilSetLogLevel(4);
    EXPECT_EQ(g_logLevel, 4);
    ZTLOG(UTIL_LOG_INFO, "more verbose than debug");
    EXPECT_TRUE(capture.Take().empty());
    ztUtilSetLogLevel(0);
    EXPECT_EQ(g_logLevel, 0);
    ZTLOG(UTIL_LOG_FATAL, "silenced");
    EXPECT_TRUE(capture.Take().empty());
}

TEST(LogSink, InstallAndRemoveWhileThreadsLog)
{
    zttest::GlobalsGuard guard;
    g_logLevel = UTIL_LOG_ERROR;
    std::atomic<int> calls{0};
    auto sink = [](int, const char* line, void* ctx) {
        if (std::string(line).find("UTIL_LOG_ERROR:tick") == 0)
            static_cast<std::atomic<int>*>(ctx)->fetch_add(1);
    };
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 3; t++) {
        loggers.emplace_back([&stop] {
            while (!stop.load())
                ZTLOG(UTIL_LOG_ERROR, "tick");
        });
    }
    for (int i = 0; i < 200; i++) {
        ztUtilSetLogSink(sink, &calls);
        ztUtilSetLogSink(nullptr, nullptr);
    }
    ztUtilSetLogSink(sink, &calls);
    while (calls.load() < 10)
        std::this_thread::yield();
    ztUtilSetLogSink(nullptr, nullptr);
    int after = calls.load();
    // Once removal returns, the sink is never entered again.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls.load(), after);
    stop = true;
    for (auto& t : loggers)
        t.join();
}

}  // namespace
