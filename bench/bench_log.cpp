// The level log: a call site whose level is disabled (one comparison), and one whose level is
// enabled, which formats into the 441-byte stack buffer, hands the line to the level log's own
// system-log client and calls the sink hook (a no-op sink is installed). What the client costs
// depends on the machine: with no syslogd listening (no /dev/log) it tries to connect at most once
// a second; on the camera busybox syslogd receives the line. BM_Syslog_Alone (glibc's syslog, for
// comparison) and BM_LogTransport_UnixDatagram separate those costs from the formatting.
#include <benchmark/benchmark.h>
#include <string.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <string>

#include "bench_support.h"
#include "ztLog.h"

namespace {

const char kName[] = "ztControlD";
const std::string kLongText(500, 'x');  // cut to fit the line buffer

void noSink(int, const char*, void*) {}

// Installs the no-op sink and a level for the duration of one benchmark.
class LogSetup {
public:
    explicit LogSetup(int level) : saved_(g_logLevel)
    {
        g_logLevel = level;
        ztUtilSetLogSink(noSink, nullptr);
    }
    ~LogSetup()
    {
        ztUtilSetLogSink(nullptr, nullptr);
        g_logLevel = saved_;
    }

private:
    int saved_;
};

void BM_Ztlog_Disabled(benchmark::State& state)
{
    LogSetup setup(UTIL_LOG_ERROR);
    int i = 0;
    for (auto _ : state) {
        ZTLOG(UTIL_LOG_INFO, "Received message %d from %s", i++, kName);
        benchmark::ClobberMemory();  // g_logLevel is read again, as at a call site among other code
    }
}
BENCHMARK(BM_Ztlog_Disabled);

void BM_Ztlog_Enabled(benchmark::State& state)
{
    LogSetup setup(UTIL_LOG_INFO);
    int i = 0;
    for (auto _ : state)
        ZTLOG(UTIL_LOG_INFO, "Received message %d from %s", i++, kName);
}
BENCHMARK(BM_Ztlog_Enabled);

void BM_Ztlog_EnabledLongMessage(benchmark::State& state)
{
    LogSetup setup(UTIL_LOG_INFO);
    for (auto _ : state)
        ZTLOG(UTIL_LOG_INFO, "%s", kLongText.c_str());
}
BENCHMARK(BM_Ztlog_EnabledLongMessage);

// The syslog call the level log makes, with a line of the same length as BM_Ztlog_Enabled's.
void BM_Syslog_Alone(benchmark::State& state)
{
    const char line[] = "UTIL_LOG_INFO :Received message 12345 from ztControlD @bench_log.cpp:58";
    for (auto _ : state)
        syslog(LOG_ERR, "%s", line);
    state.SetLabel(access("/dev/log", F_OK) == 0 ? "syslogd listening" : "no /dev/log");
}
BENCHMARK(BM_Syslog_Alone);

// Sending a 100-byte line over a Unix datagram socket and reading it back: the transport part
// of what a listening syslogd adds (its own processing and disk writes come on top).
void BM_LogTransport_UnixDatagram(benchmark::State& state)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM, 0, fds) != 0) {
        benchFail(state, "socketpair failed");
        return;
    }
    char line[100];
    memset(line, 'x', sizeof line);
    char in[sizeof line];
    for (auto _ : state) {
        if (send(fds[0], line, sizeof line, 0) != (ssize_t)sizeof line || recv(fds[1], in, sizeof in, 0) < 0) {
            benchFail(state, "datagram lost");
            break;
        }
    }
    close(fds[0]);
    close(fds[1]);
}
BENCHMARK(BM_LogTransport_UnixDatagram);

}  // namespace
