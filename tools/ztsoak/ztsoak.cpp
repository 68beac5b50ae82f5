// ztsoak: the real daemon and simulator under a long mixed load, watched from outside.
//
// Starts ztcamsim and ztControlD (fixed mailbox names and port 8081: run it alone), then for the
// given time: several requesters send a random mix of every command (arguments of the right kind
// or random bytes, unassigned ids too), one request in flight each; notification clients connect
// to port 8081, read, stall, leave and reset their connections; the simulator's faults are
// switched on and off. Every few seconds one CSV row: the daemon's RSS, descriptors, threads,
// CPU, and the latency of the requests answered in that interval. At the end every request must
// have had exactly one answer: none lost (no answer within the wait), none extra.
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "camsim/control_client.h"
#include "daemon_process.h"
#include "ztClient.h"
#include "ztcontrol_commands.h"

namespace {

constexpr size_t kMessageSize = 1500;
constexpr int kPort = 8081;
constexpr int kAnswerWaitMs = 30000;  // far above any command's camera exchanges under faults

struct Options {
    std::string daemon, sim, csv;
    double minutes = 1;
    int intervalS = 5;
    int requesters = 4;
    int clients = 6;
    int rate = 0;  // requests per second per requester; 0: as fast as answered
};
Options g_options;

std::atomic<bool> g_stop{false};

int64_t nowUs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

void sleepMs(int ms) {
    for (int left = ms; left > 0 && !g_stop; left -= 50) usleep((useconds_t)std::min(left, 50) * 1000);
}

// ---- what the daemon process uses, from /proc ----

struct ProcSample {
    long rssKb = -1;
    int threads = -1;
    int fds = -1;
    double cpuS = -1;
};

ProcSample sampleProcess(pid_t pid) {
    ProcSample s;
    char path[64], line[1024];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    if (FILE* f = fopen(path, "r")) {
        while (fgets(line, sizeof line, f)) {
            sscanf(line, "VmRSS: %ld", &s.rssKb);
            sscanf(line, "Threads: %d", &s.threads);
        }
        fclose(f);
    }
    snprintf(path, sizeof path, "/proc/%d/fd", (int)pid);
    if (DIR* d = opendir(path)) {
        s.fds = 0;
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++s.fds;
        closedir(d);
    }
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    if (FILE* f = fopen(path, "r")) {
        const char* p = fgets(line, sizeof line, f) ? strrchr(line, ')') : nullptr;
        unsigned long ut = 0, st = 0;
        if (p && sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ut, &st) == 2)
            s.cpuS = (double)(ut + st) / (double)sysconf(_SC_CLK_TCK);
        fclose(f);
    }
    return s;
}

// ---- requesters ----

struct Totals {
    std::mutex mutex;
    std::vector<double> latencyMs;  // answered since the last sample
    uint64_t sent = 0, answered = 0, lost = 0, extra = 0, sendFailed = 0;
    int32_t lastLostId = -1;
};
Totals g_totals;

std::vector<uint8_t> argumentFor(const ZtcontrolCommandInfo& c, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255), small(0, 3);
    std::vector<uint8_t> arg;
    // One request in five gets random bytes of a random length, whatever the command expects.
    if (rng() % 5 == 0) {
        arg.resize(rng() % 64);
        for (uint8_t& b : arg) b = (uint8_t)byte(rng);
        return arg;
    }
    switch (c.argKind) {
        case ZT_ARG_U8: arg = {(uint8_t)small(rng)}; break;
        case ZT_ARG_U16: arg = {(uint8_t)small(rng), 0}; break;
        case ZT_ARG_U32: arg = {(uint8_t)small(rng), 0, 0, 0}; break;
        case ZT_ARG_TEXT: {
            const std::string t = c.id == ZTCONTROL_PUSH_NOTIFICATIONS ? (rng() % 8 ? "status=1" : "status=0") : "100ZTCAM";
            arg.assign(t.begin(), t.end() + 1);
            break;
        }
        case ZT_ARG_BYTES: arg.assign(8 + rng() % 8, (uint8_t)small(rng)); break;
        default: break;
    }
    return arg;
}

// The request in the daemon's message format, built by the client library; its length. The soak
// keeps its own reply mailboxes (rather than the library's calls) to see every extra answer.
size_t buildRequest(uint32_t id, const std::vector<uint8_t>& arg, const std::string& replyTo, uint8_t* buf) {
    const int n = ztClient_encodeRequest(id, arg.empty() ? nullptr : arg.data(), arg.size(), replyTo.c_str(), buf,
                                         kMessageSize);
    return n < 0 ? 0 : (size_t)n;
}

// Ends the daemon with its stop command (it answers on a mailbox nobody reads); killed when it
// has not ended within five seconds.
void stopDaemon(pid_t daemon) {
    uint8_t buf[kMessageSize];
    const size_t length = buildRequest(ZTCONTROL_STOP, {}, "/ztsoak_unread", buf);
    mqd_t tx = mq_open("/to_ztCtlD", O_WRONLY | O_NONBLOCK);
    if (tx != (mqd_t)-1) {
        mq_send(tx, reinterpret_cast<const char*>(buf), length, 0);
        mq_close(tx);
    }
    for (int i = 0; i < 100 && kill(daemon, 0) == 0; ++i) usleep(50 * 1000);
    if (kill(daemon, 0) == 0) kill(daemon, SIGKILL);
}

// Commands that would end the run or flood the system log are left out.
bool excluded(uint32_t id) { return id == ZTCONTROL_STOP || id == ZTCONTROL_SET_LOG_LEVEL; }

void requesterThread(int index) {
    const std::string name = "/ztsoak_" + std::to_string(getpid()) + "_" + std::to_string(index);
    mq_attr attr = {};
    attr.mq_maxmsg = 4;
    attr.mq_msgsize = kMessageSize;
    mq_unlink(name.c_str());
    mqd_t rx = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL, 0600, &attr);
    mqd_t tx = mq_open("/to_ztCtlD", O_WRONLY);
    if (rx == (mqd_t)-1 || tx == (mqd_t)-1) {
        fprintf(stderr, "ztsoak: requester %d cannot open its mailboxes\n", index);
        g_stop = true;
        return;
    }
    size_t count = 0;
    const ZtcontrolCommandInfo* commands = ztcontrolCommands(&count);
    std::mt19937 rng(1000u + (unsigned)index);
    uint8_t buf[kMessageSize];
    const int64_t spacingUs = g_options.rate > 0 ? 1000000 / g_options.rate : 0;
    int64_t nextAt = nowUs();
    while (!g_stop) {
        if (spacingUs > 0) {
            nextAt += spacingUs;
            const int64_t wait = nextAt - nowUs();
            if (wait > 0) usleep((useconds_t)wait);
        }
        // An unassigned id now and then; otherwise any command but the excluded ones.
        uint32_t id = 90 + (uint32_t)(rng() % 10);
        std::vector<uint8_t> arg;
        if (rng() % 20 != 0) {
            const ZtcontrolCommandInfo& c = commands[rng() % count];
            if (excluded(c.id)) continue;
            id = c.id;
            arg = argumentFor(c, rng);
        }
        uint8_t message[kMessageSize];
        const size_t length = buildRequest(id, arg, name, message);

        // Nothing may be waiting before a request: a message here answers an earlier one again.
        mq_attr now = {};
        mq_getattr(rx, &now);
        if (now.mq_curmsgs > 0) {
            std::lock_guard<std::mutex> lock(g_totals.mutex);
            g_totals.extra += (uint64_t)now.mq_curmsgs;
            while (now.mq_curmsgs-- > 0) mq_receive(rx, reinterpret_cast<char*>(buf), sizeof buf, nullptr);
        }

        const int64_t t0 = nowUs();
        timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += kAnswerWaitMs / 1000;
        if (mq_timedsend(tx, reinterpret_cast<const char*>(message), length, 0, &deadline) != 0) {
            std::lock_guard<std::mutex> lock(g_totals.mutex);
            ++g_totals.sendFailed;
            continue;
        }
        const ssize_t n = mq_timedreceive(rx, reinterpret_cast<char*>(buf), sizeof buf, nullptr, &deadline);
        std::lock_guard<std::mutex> lock(g_totals.mutex);
        ++g_totals.sent;
        if (n < 0) {
            ++g_totals.lost;
            g_totals.lastLostId = (int32_t)id;
        } else {
            ++g_totals.answered;
            g_totals.latencyMs.push_back((double)(nowUs() - t0) / 1000.0);
        }
    }
    // A late duplicate shows up within a moment of the last answer.
    usleep(300 * 1000);
    mq_attr now = {};
    mq_getattr(rx, &now);
    {
        std::lock_guard<std::mutex> lock(g_totals.mutex);
        g_totals.extra += (uint64_t)now.mq_curmsgs;
    }
    mq_close(rx);
    mq_close(tx);
    mq_unlink(name.c_str());
}

// ---- notification clients ----

std::atomic<uint64_t> g_clientSessions{0}, g_bytesRead{0};

// One client slot: connects, then reads, stalls (stops reading while the daemon keeps sending),
// leaves (close) or resets (close with SO_LINGER 0), and comes back.
void clientThread(int index) {
    std::mt19937 rng(2000u + (unsigned)index);
    char buf[8192];
    while (!g_stop) {
        int fd = zt_process::connectLoopback(kPort);
        if (fd < 0) {
            sleepMs(200);
            continue;
        }
        ++g_clientSessions;
        const int64_t end = nowUs() + (int64_t)(500 + rng() % 8000) * 1000;
        const bool stalls = rng() % 4 == 0;
        while (!g_stop && nowUs() < end) {
            if (stalls) {
                sleepMs(100);
                continue;
            }
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;  // the daemon dropped us (a stalled peer is dropped by design)
                g_bytesRead += (uint64_t)n;
            }
        }
        if (rng() % 3 == 0) {
            linger l = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        close(fd);
        sleepMs((int)(rng() % 1000));
    }
}

// ---- simulator faults ----

std::atomic<uint64_t> g_faultSwitches{0};

void faultThread(const std::string& control) {
    const char* const on[] = {"fault 8/11 -101", "delay any 150", "cut 7/30 10", "noreply 8/11", "nak 5 all",
                              "fault any ZT_ERR_NAK", "power off", "model-unreadable on", "event suspend",
                              "event transcode 1:1:50", "event preset-update 6 1"};
    const char* const off[] = {"fault clear", "power on", "model-unreadable off", "event resume"};
    std::mt19937 rng(3000);
    std::string reply;
    while (!g_stop) {
        camsim::controlRequest(control, on[rng() % (sizeof on / sizeof on[0])], &reply, 2000);
        ++g_faultSwitches;
        sleepMs(1000 + (int)(rng() % 3000));
        for (const char* line : off) camsim::controlRequest(control, line, &reply, 2000);
        sleepMs(2000 + (int)(rng() % 4000));
    }
    for (const char* line : off) camsim::controlRequest(control, line, &reply, 2000);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, (size_t)(p * (double)(v.size() - 1) + 0.5))];
}

void usage(FILE* out) {
    fprintf(out,
            "Usage: ztsoak --daemon ZTCONTROLD --sim ZTCAMSIM --csv FILE [options]\n"
            "Runs the daemon and the simulator (fixed mailbox names, port 8081) under a mixed\n"
            "command flood, notification clients and simulator faults; checks that every request\n"
            "got exactly one answer and writes one CSV row of the daemon's figures per interval.\n"
            "  --minutes M      how long (default 1; fractions allowed)\n"
            "  --interval S     seconds between rows (default 5)\n"
            "  --requesters N   requesters, one request in flight each (default 4)\n"
            "  --clients N      notification client slots (default 6)\n"
            "  --rate N         requests per second per requester (default 0: as fast as answered)\n"
            "  --help           this text\n"
            "Exit status: 0 when no answer was lost or extra and the daemon ran to the end.\n");
}

bool parse(int argc, char** argv, Options& o) {
    static const option longOptions[] = {{"daemon", required_argument, nullptr, 'd'},
                                         {"sim", required_argument, nullptr, 's'},
                                         {"csv", required_argument, nullptr, 'c'},
                                         {"minutes", required_argument, nullptr, 'm'},
                                         {"interval", required_argument, nullptr, 'i'},
                                         {"requesters", required_argument, nullptr, 'r'},
                                         {"clients", required_argument, nullptr, 'n'},
                                         {"rate", required_argument, nullptr, 'R'},
                                         {"help", no_argument, nullptr, 'h'},
                                         {nullptr, 0, nullptr, 0}};
    int c;
    while ((c = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        switch (c) {
            case 'd': o.daemon = optarg; break;
            case 's': o.sim = optarg; break;
            case 'c': o.csv = optarg; break;
            case 'm': o.minutes = atof(optarg); break;
            case 'i': o.intervalS = atoi(optarg); break;
            case 'r': o.requesters = atoi(optarg); break;
            case 'n': o.clients = atoi(optarg); break;
            case 'R': o.rate = atoi(optarg); break;
            case 'h': usage(stdout); exit(0);
            default: return false;
        }
    }
    return !o.daemon.empty() && !o.sim.empty() && !o.csv.empty() && o.minutes > 0 && o.intervalS > 0 &&
           o.requesters > 0 && o.clients >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage(stderr);
        return 2;
    }
    g_options = o;
    signal(SIGPIPE, SIG_IGN);
    FILE* csv = fopen(o.csv.c_str(), "w");
    if (!csv) {
        fprintf(stderr, "ztsoak: cannot write %s\n", o.csv.c_str());
        return 2;
    }
    const std::string control = "/tmp/ztsoak_" + std::to_string(getpid()) + ".sock";
    for (const char* name : {"/to_ztCtlD", "/to_ztCtlD2", "/to_ztnet"}) mq_unlink(name);
    const pid_t sim = zt_process::spawnQuiet({o.sim, "--quiet", "--control", control});
    pid_t daemon = -1;
    for (int i = 0; i < 200 && daemon < 0; ++i) {
        if (i == 10) zt_process::spawnQuiet({o.daemon});
        usleep(50 * 1000);
        int fd = i > 10 ? zt_process::connectLoopback(kPort) : -1;
        if (fd >= 0) {
            close(fd);
            daemon = zt_process::findDaemon();
        }
    }
    if (daemon < 0) {
        fprintf(stderr, "ztsoak: the daemon did not start listening\n");
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
        return 1;
    }

    std::vector<std::thread> threads;
    for (int i = 0; i < o.requesters; ++i) threads.emplace_back(requesterThread, i);
    for (int i = 0; i < o.clients; ++i) threads.emplace_back(clientThread, i);
    threads.emplace_back(faultThread, control);

    fprintf(csv, "seconds,rss_kib,fds,threads,cpu_percent,requests,p50_ms,p99_ms,max_ms,lost,extra\n");
    const int64_t start = nowUs();
    const int64_t end = start + (int64_t)(o.minutes * 60e6);
    // The figures compared at the end are those of the first and the last row, both under load.
    ProcSample previous = sampleProcess(daemon), first, last;
    int64_t previousAt = start;
    bool died = false;
    while (nowUs() < end && !g_stop) {
        usleep((useconds_t)std::min<int64_t>(o.intervalS * 1000000LL, end - nowUs() + 1000));
        const ProcSample s = sampleProcess(daemon);
        const int64_t at = nowUs();
        if (s.rssKb < 0) {
            died = true;
            break;
        }
        std::vector<double> latency;
        uint64_t lost, extra;
        {
            std::lock_guard<std::mutex> lock(g_totals.mutex);
            latency.swap(g_totals.latencyMs);
            lost = g_totals.lost;
            extra = g_totals.extra;
        }
        const double cpu = 100.0 * (s.cpuS - previous.cpuS) / ((double)(at - previousAt) / 1e6);
        fprintf(csv, "%.1f,%ld,%d,%d,%.1f,%zu,%.3f,%.3f,%.3f,%llu,%llu\n", (double)(at - start) / 1e6, s.rssKb,
                s.fds, s.threads, cpu, latency.size(), percentile(latency, 0.5), percentile(latency, 0.99),
                percentile(latency, 1.0), (unsigned long long)lost, (unsigned long long)extra);
        fflush(csv);
        if (first.rssKb < 0) first = s;  // the first row
        previous = last = s;
        previousAt = at;
    }
    g_stop = true;
    for (std::thread& t : threads) t.join();
    fclose(csv);

    // The daemon first (it may still ask the camera), then the simulator.
    if (!died) stopDaemon(daemon);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    unlink(control.c_str());
    for (const char* name : {"/to_ztCtlD", "/to_ztCtlD2", "/to_ztnet"}) mq_unlink(name);

    printf("ztsoak: %.1f min, %llu requests, %llu answered, %llu lost, %llu extra, %llu not sent\n",
           (double)(nowUs() - start) / 60e6, (unsigned long long)g_totals.sent,
           (unsigned long long)g_totals.answered, (unsigned long long)g_totals.lost,
           (unsigned long long)g_totals.extra, (unsigned long long)g_totals.sendFailed);
    printf("ztsoak: %llu client sessions, %llu notification bytes read, %llu fault switches\n",
           (unsigned long long)g_clientSessions, (unsigned long long)g_bytesRead,
           (unsigned long long)g_faultSwitches);
    printf("ztsoak: daemon RSS %ld -> %ld KiB, descriptors %d -> %d, threads %d -> %d%s\n", first.rssKb,
           last.rssKb, first.fds, last.fds, first.threads, last.threads, died ? ", DAEMON DIED" : "");
    if (g_totals.lost) printf("ztsoak: last lost request: id %d\n", g_totals.lastLostId);
    return died || g_totals.lost || g_totals.extra || g_totals.sent == 0 ? 1 : 0;
}
