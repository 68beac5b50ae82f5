// Level log (line layout, the 349-character cut, the call-site level test, the sink hook) and
// the library trace (thresholds, standard-output and syslog forms, the assertion line).
#include <atomic>
#include <thread>
#include <tuple>

#include "ztTestUtil.h"

using testing::MatchesRegex;

namespace {

// Collects the level-log lines of the test's own thread through the sink hook.
struct LevelLog : testing::Test {
    LevelLog()
    {
        ztUtilSetLogSink([](int level, const char* line, void* self) {
            static_cast<LevelLog*>(self)->lines.emplace_back(level, line);
        }, this);
    }
    ~LevelLog() override { ztUtilSetLogSink(nullptr, nullptr); }
    std::vector<std::pair<int, std::string>> lines;
};

TEST_F(LevelLog, LineLayout)
{
    g_logLevel = UTIL_LOG_TRACE;
    int at = __LINE__ + 1;
    ZTLOG(UTIL_LOG_WARN, "camera %s answered %d", "zoom", -3);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, UTIL_LOG_WARN);
    EXPECT_EQ(lines[0].second, "UTIL_LOG_WARN :camera zoom answered -3 @log_test.cpp:" + std::to_string(at));

    const char* names[] = {"UTIL_LOG_OFF  ", "UTIL_LOG_FATAL", "UTIL_LOG_ERROR", "UTIL_LOG_WARN ",
                           "UTIL_LOG_DEBUG", "UTIL_LOG_INFO ", "UTIL_LOG_TRACE", "UTIL_LOG_?????"};
    for (int level = 0; level <= 7; level++) {  // 7 is out of the table: a placeholder, no overrun
        lines.clear();
        ztUtilKlogMsgLevel(level, 7, "f.c", "m");
        EXPECT_EQ(lines.at(0).second, std::string(names[level]) + ":m @f.c:7");
    }

    // Name, colon and message take at most 349 characters; the suffix may run up to 440.
    const std::string head = "UTIL_LOG_ERROR:" + std::string(334, 'x'), f86(86, 'f'), f87(87, 'f');
    // Message length, file name, line.
    const std::tuple<size_t, std::string, std::string> rows[] = {
        {334, "a.c", head + " @a.c:5"},  // exactly fits
        {335, "a.c", head + " @a.c:5"},
        {500, f86, head + " @" + f86 + ":5"},
        {500, f87, head + " "},  // a suffix of 91 characters does not fit: a blank instead
        {5, std::string(100, 'f'), "UTIL_LOG_ERROR:xxxxx @" + std::string(100, 'f') + ":5"},
    };
    for (const auto& [message, file, expected] : rows) {
        lines.clear();
        ztUtilKlogMsgLevel(UTIL_LOG_ERROR, 5, file.c_str(), "%s", std::string(message, 'x').c_str());
        EXPECT_EQ(lines.at(0).second, expected) << message << " " << file.size();
    }
}

TEST_F(LevelLog, LevelIsTestedAtTheCallSite)
{
    g_logLevel = UTIL_LOG_ERROR;
    int evaluated = 0;
    ZTLOG(UTIL_LOG_DEBUG, "%d", ++evaluated);
    ZTLOG(UTIL_LOG_INFO, "%d", ++evaluated);
    EXPECT_EQ(evaluated, 0) << "arguments of a disabled level are not evaluated";
    ZTLOG(UTIL_LOG_ERROR, "%d", ++evaluated);
    ZTLOG(UTIL_LOG_FATAL, "%d", ++evaluated);
    EXPECT_EQ(evaluated, 2);
    EXPECT_EQ(lines.size(), 2u);

    for (unsigned ignored : {7u, 0xFFFFFFFFu}) {
        ztUtilSetLogLevel(ignored);
        EXPECT_EQ(g_logLevel, UTIL_LOG_ERROR) << ignored;
    }
    ztUtilSetLogLevel(UTIL_LOG_DEBUG);
    ZTLOG(UTIL_LOG_INFO, "more verbose than debug");
    ztUtilSetLogLevel(0);
    ZTLOG(UTIL_LOG_FATAL, "silenced");
    EXPECT_EQ(g_logLevel, 0);
    EXPECT_EQ(lines.size(), 2u);
}

TEST(LogSink, InstallAndRemoveWhileThreadsLog)
{
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
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls.load(), after) << "once removal returns, the sink is never entered again";
    stop = true;
    for (auto& t : loggers)
        t.join();
}

// The unlink of a missing mailbox writes one trace line.
TEST(Trace, FormsAndThresholds)
{
    const std::string name = zttest::MboxName("never_created");
    auto unlinkMissing = [&] { EXPECT_EQ(ztMbox_unlink(name.c_str()), -1); };
    for (unsigned verbosity : {0u, 7u, 15u}) {
        g_debug_level = 0x40000000u | verbosity;
        EXPECT_EQ(zttest::Captured(2, [&] { EXPECT_EQ(zttest::Captured(1, unlinkMissing), ""); }), "");
    }
    g_debug_level = 0x5FFFFF10u;  // verbosity 16 under unrelated bits; bit 30 set, bit 29 clear
    std::string out, err = zttest::Captured(2, [&] { out = zttest::Captured(1, unlinkMissing); });
    const std::string line = "\\[   ztMbox_unlink: {1,3}[0-9]{1,4}\\] Mbox unlink fail=\"" + name +
                             "\" errno=\"No such file or directory\"\n";
    EXPECT_THAT(out, MatchesRegex("[A-Z][a-z][a-z][0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] " + line));
    // syslog's LOG_PERROR copy, which glibc starts with the program name.
    EXPECT_THAT(err, MatchesRegex("ztCommon_util_test: " + line));

    g_debug_level = zttest::kTraceToStdout;
    auto assertWithStdoutOnStderr = [] {
        dup2(2, 1);  // the death-test matcher reads standard error only
        unsigned char buf[8] = {0, 4, 0, 16};
        sntlv_void(buf, TLV_CMD);
    };
    // The standard-output form (after "HH:MM:SS "), then the syslog form.
    const std::string form = "\033\\[31mASSERT:libztCommon/src/ztTlv\\.c/sntlv_void:[0-9]+:tlv != NULL\n"
                             "\033\\[0m";
    EXPECT_EXIT(assertWithStdoutOnStderr(), testing::ExitedWithCode(255),
                MatchesRegex(".*[0-9]{2}:[0-9]{2}:[0-9]{2} " + form + ".*" + form + ".*"));
}

}  // namespace
