// End-to-end latency of the daemon against the message-queue floor, its notification latency, and
// its idle cost. Starts ztcamsim and ztControlD itself (so nothing else may use the daemon's
// mailboxes or port 8081 meanwhile) and pins itself and every process it starts to one CPU: on a
// small multi-core machine a cross-CPU wake-up costs tens of microseconds and lands at random.
//
//   bench_e2e [--quick] [--no-pin] [--json FILE] [--samples DIR]
//   bench_e2e --attach ID COUNT
//
// The second form sends COUNT requests of command ID (with the argument of its row, if any) to a
// daemon started by someone else, e.g. under a profiler, and prints the median round trip.
//
// The request rows and their floors are measured in interleaved rounds; a row's ratio is the median
// of its per-round ratios (median of the row over median of its floor in the same round).
// Prints one table (median, p99, ratio to the floor the path is compared with), writes the results
// as JSON and, with --samples, one file of sorted latencies per row for plotting. It measures; it
// never fails on a number. Exit status 1 when a part could not be measured at all.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "camsim/control_client.h"
#include "daemon_process.h"
#include "ztClient.h"
#include "ztcontrol_commands.h"
#ifdef ZT_BENCH_DBUS
#include "bench_dbus_peer.h"
#endif

namespace {

constexpr size_t kMessageSize = 1500;
constexpr int kPort = 8081;

struct Options {
    bool quick = false;
    bool pin = true;
    std::string jsonPath;
    std::string samplesDir;
    int attachId = -1;  // only round trips of this command against a running daemon
    int attachCount = 0;
};

double nowUs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

struct Row {
    std::string name;
    std::vector<double> us;  // sorted samples
    std::string floorName;   // the row this one is compared with, or empty
    double percentile(double p) const {
        if (us.empty()) return 0;
        size_t i = std::min(us.size() - 1, (size_t)(p * (double)(us.size() - 1) + 0.5));
        return us[i];
    }
};

std::vector<Row> g_rows;
std::map<std::string, double> g_ratios;  // row name: median of its per-round ratios to its floor
std::vector<std::pair<std::string, double>> g_figures;  // name, value
bool g_failed = false;

void addRow(const std::string& name, std::vector<double> us, const std::string& floorName = "") {
    std::sort(us.begin(), us.end());
    if (us.empty()) {
        fprintf(stderr, "bench_e2e: %s: no samples\n", name.c_str());
        g_failed = true;
    }
    g_rows.push_back({name, std::move(us), floorName});
}

std::string queueName(const char* tag) { return std::string("/zt_bench_") + tag + "_" + std::to_string(getpid()); }

mqd_t openQueue(const std::string& name, int flags) {
    mq_attr attr = {};
    attr.mq_maxmsg = 2;
    attr.mq_msgsize = kMessageSize;
    return mq_open(name.c_str(), flags | O_CREAT, 0600, &attr);
}

// Forwards every message from `in` to the queue named `out` until a message of one byte arrives
// (forwarded too); with reopen, `out` is opened and closed for every message, as the daemon opens
// each requester's mailbox per answer.
[[noreturn]] void relay(const std::string& in, const std::string& out, bool reopen) {
    mqd_t rx = mq_open(in.c_str(), O_RDONLY);
    mqd_t tx = reopen ? (mqd_t)-1 : mq_open(out.c_str(), O_WRONLY);
    char buf[kMessageSize];
    for (;;) {
        ssize_t n = mq_receive(rx, buf, sizeof buf, nullptr);
        if (n < 0) _exit(1);
        if (reopen) tx = mq_open(out.c_str(), O_WRONLY);
        mq_send(tx, buf, (size_t)n, 0);
        if (reopen) mq_close(tx);
        if (n == 1) _exit(0);
    }
}

// The broker of the 4-hop chain: request in, to the camera, camera's answer back, answer out.
[[noreturn]] void broker(const std::string& in, const std::string& camera, const std::string& cameraReply,
                         const std::string& out) {
    mqd_t rx = mq_open(in.c_str(), O_RDONLY), toCam = mq_open(camera.c_str(), O_WRONLY);
    mqd_t fromCam = mq_open(cameraReply.c_str(), O_RDONLY);
    char buf[kMessageSize];
    for (;;) {
        ssize_t n = mq_receive(rx, buf, sizeof buf, nullptr);
        if (n < 0) _exit(1);
        mq_send(toCam, buf, (size_t)n, 0);
        ssize_t m = mq_receive(fromCam, buf, sizeof buf, nullptr);
        if (m < 0) _exit(1);
        mqd_t tx = mq_open(out.c_str(), O_WRONLY);
        mq_send(tx, buf, (size_t)m, 0);
        mq_close(tx);
        if (n == 1) _exit(0);
    }
}

// Round trips of full-size messages through `hops` queues; children relay.
std::vector<double> queueFloor(int hops, bool reopen, int iterations) {
    std::vector<std::string> q;
    for (int i = 0; i < hops; ++i) q.push_back(queueName(("q" + std::to_string(i)).c_str()));
    std::vector<mqd_t> fds;
    for (const std::string& name : q) fds.push_back(openQueue(name, O_RDWR));
    std::vector<pid_t> children;
    if (hops == 2) {
        pid_t pid = fork();
        if (pid == 0) relay(q[0], q[1], reopen);
        children.push_back(pid);
    } else {
        pid_t cam = fork();
        if (cam == 0) relay(q[1], q[2], false);
        pid_t brk = fork();
        if (brk == 0) broker(q[0], q[1], q[2], q[3]);
        children = {cam, brk};
    }
    mqd_t tx = mq_open(q[0].c_str(), O_WRONLY), rx = mq_open(q[hops - 1].c_str(), O_RDONLY);
    char msg[kMessageSize] = {1}, buf[kMessageSize];
    std::vector<double> us;
    us.reserve(iterations);
    for (int i = 0; i < iterations + 100; ++i) {  // the first 100 warm up
        const double t0 = nowUs();
        if (mq_send(tx, msg, sizeof msg, 0) != 0 || mq_receive(rx, buf, sizeof buf, nullptr) < 0) break;
        if (i >= 100) us.push_back(nowUs() - t0);
    }
    mq_send(tx, msg, 1, 0);
    mq_receive(rx, buf, sizeof buf, nullptr);
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
    for (size_t i = 0; i < q.size(); ++i) {
        mq_close(fds[i]);
        mq_unlink(q[i].c_str());
    }
    mq_close(tx);
    mq_close(rx);
    return us;
}

// CPU seconds a process has run, summed over its threads from the scheduler's nanosecond counts
// (the clock ticks of /proc/PID/stat, 10 ms each, cannot resolve a share of 0.05 %).
double cpuSeconds(pid_t pid) {
    char path[300];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (!tasks) return -1;
    unsigned long long total = 0;
    while (dirent* e = readdir(tasks)) {
        if (e->d_name[0] == '.') continue;
        snprintf(path, sizeof path, "/proc/%d/task/%s/schedstat", (int)pid, e->d_name);
        FILE* f = fopen(path, "r");
        unsigned long long ns = 0;
        if (f && fscanf(f, "%llu", &ns) == 1) total += ns;
        if (f) fclose(f);
    }
    closedir(tasks);
    return (double)total / 1e9;
}

// Resident kilobytes of a process.
long rssKb(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    long kb = -1;
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld", &kb) == 1) break;
    if (f) fclose(f);
    return kb;
}

// A requester of the client library, as every camera process has one.
class Requester {
public:
    Requester() { ok_ = ztClient_open(&client_, nullptr, "/zt_bench") == 0; }
    ~Requester() { ztClient_close(client_); }
    bool ok() const { return ok_; }

    // One request and its answer; false when none came within two seconds.
    bool call(uint32_t id, const std::vector<uint8_t>& arg, int32_t* result = nullptr) {
        int32_t answered = 0;
        size_t length = 0;
        const int r = ztClient_call(client_, id, arg.empty() ? nullptr : arg.data(), arg.size(), 2000, &answered,
                                    answer_, sizeof answer_, &length);
        lastPayloadBytes = length;
        if (result) *result = answered;
        return r == 0;
    }

    // Bytes of the request and of the answer of the last call, for a peer of the same shape.
    size_t requestBytes(uint32_t id, const std::vector<uint8_t>& arg) const {
        uint8_t buf[kMessageSize];
        const int n = ztClient_encodeRequest(id, arg.empty() ? nullptr : arg.data(), arg.size(),
                                             ztClient_replyMailbox(client_), buf, sizeof buf);
        return n < 0 ? 0 : (size_t)n;
    }
    size_t answerBytes() const {
        const size_t header = 4, element = 3, result = 4;  // result element, payload element, end element
        return header + element + result + (lastPayloadBytes ? element + lastPayloadBytes : 0) + element;
    }

private:
    ztClient* client_ = nullptr;
    bool ok_ = false;
    size_t lastPayloadBytes = 0;
    uint8_t answer_[kMessageSize];
};

std::vector<double> roundTrips(Requester& r, uint32_t id, const std::vector<uint8_t>& arg, int iterations) {
    std::vector<double> us;
    for (int i = 0; i < iterations + 20; ++i) {
        const double t0 = nowUs();
        if (!r.call(id, arg)) break;
        if (i >= 20) us.push_back(nowUs() - t0);
    }
    return us;
}

// Reads from the socket until the accumulated frames contain the text; false after timeoutMs.
bool waitForText(int fd, std::string& seen, const std::string& text, int timeoutMs) {
    const double end = nowUs() + timeoutMs * 1000.0;
    char buf[4096];
    while (seen.find(text) == std::string::npos) {
        const double left = end - nowUs();
        if (left <= 0) return false;
        timeval tv = {(time_t)(left / 1e6), (suseconds_t)((long long)left % 1000000)};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        seen.append(buf, (size_t)n);
    }
    return true;
}

// A connected, resumed client that has received the full state; -1 when none came. The
// connection is complete before the daemon has accepted it, and a resume reaches only accepted
// clients: the request is repeated until the full state arrives. While another client listens, a
// paused one gets the full state too, so the resume is sent once more after it: otherwise the
// daemon would stop polling when the other client goes.
int subscribedClient(Requester& r) {
    int fd = zt_process::connectLoopback(kPort);
    const std::string on = "status=1";
    const std::vector<uint8_t> arg(on.begin(), on.end() + 1);
    std::string seen;
    for (int attempt = 0; fd >= 0 && attempt < 10; ++attempt)
        if (r.call(ZTCONTROL_PUSH_NOTIFICATIONS, arg) && waitForText(fd, seen, "\"settings\"", 300) &&
            r.call(ZTCONTROL_PUSH_NOTIFICATIONS, arg))
            return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// From the answer of a locate command to the frame that carries the changed status item.
std::vector<double> notificationLatency(Requester& r, int iterations) {
    std::vector<double> us;
    int fd = subscribedClient(r);
    std::string seen;
    if (fd < 0) return us;
    for (int i = 0; i < iterations; ++i) {
        const uint8_t value = (uint8_t)((i + 1) % 2);
        seen.clear();
        if (!r.call(ZTCONTROL_LOCATE, {value})) break;
        const double answered = nowUs();
        if (!waitForText(fd, seen, std::string("\"31\":") + (char)('0' + value), 3000)) break;
        us.push_back(nowUs() - answered);
    }
    close(fd);
    return us;
}

// From a change made on the simulated camera (through its control socket) to the frame that
// carries it: the daemon learns of it at its next status poll.
std::vector<double> simulatorChangeLatency(Requester& r, const std::string& control, int iterations) {
    std::vector<double> us;
    int fd = subscribedClient(r);
    if (fd < 0) return us;
    std::string seen, reply;
    for (int i = 0; i < iterations; ++i) {
        const int value = (i + 1) % 2;  // the locate byte of the status block, item 31
        seen.clear();
        // The daemon polls twice a second: a change right after a frame would always wait a whole
        // period, so each change comes at a random point of the period.
        usleep((useconds_t)(rand() % 500000));
        if (camsim::controlRequest(control, "set status 60 " + std::to_string(value), &reply) != 0) {
            fprintf(stderr, "bench_e2e: the simulator refused the change: %s\n", reply.c_str());
            break;
        }
        const double changed = nowUs();
        if (!waitForText(fd, seen, std::string("\"31\":") + (char)('0' + value), 3000)) {
            fprintf(stderr, "bench_e2e: no frame with the camera's change within 3 s\n");
            break;
        }
        us.push_back(nowUs() - changed);
    }
    close(fd);
    return us;
}

// Idle CPU share of the daemon with n connected, subscribed clients.
double idleCpuPercent(pid_t daemon, Requester& r, int clients, double seconds) {
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
        int fd = subscribedClient(r);
        if (fd < 0) break;
        fds.push_back(fd);
    }
    const double c0 = cpuSeconds(daemon), t0 = nowUs();
    // The clients keep reading so that none stalls.
    char buf[4096];
    while (nowUs() - t0 < seconds * 1e6) {
        for (int fd : fds) recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        usleep(100 * 1000);
    }
    const double c1 = cpuSeconds(daemon), t1 = nowUs();
    for (int fd : fds) close(fd);
    return 100.0 * (c1 - c0) / ((t1 - t0) / 1e6);
}

// The request/response of the row before (42, answered by the daemon itself) as a team would build
// it on D-Bus: requester, dbus-daemon, service, dbus-daemon, requester; same message sizes.
void measureDbusPeer(size_t requestBytes, size_t answerBytes, int iterations) {
#ifdef ZT_BENCH_DBUS
    std::string why;
    std::vector<double> us = dbusPeerRoundTrips(iterations, requestBytes, answerBytes, &why);
    if (us.empty()) {
        fprintf(stderr, "bench_e2e: D-Bus peer not measured: %s\n", why.c_str());
        return;
    }
    addRow("peer: D-Bus request/response, sizes of 42", us, "queue 4-hop chain");
    // What the daemon's own request/response (42) would become over a D-Bus broker.
    const double daemon = g_rows[g_rows.size() - 2].percentile(0.5);
    if (daemon > 0) g_figures.push_back({"dbus_peer_over_daemon_42", g_rows.back().percentile(0.5) / daemon});
#else
    (void)requestBytes;
    (void)answerBytes;
    (void)iterations;
    fprintf(stderr, "bench_e2e: built without libsystemd (libsystemd-dev): no D-Bus peer row\n");
#endif
}

double median(std::vector<double> us) {
    if (us.empty()) return 0;
    std::nth_element(us.begin(), us.begin() + (long)(us.size() / 2), us.end());
    return us[us.size() / 2];
}

// The floors and the daemon's request rows in interleaved rounds: a machine whose speed drifts
// (other load, frequency changes) then moves a row and its floor alike. Each row's ratio is taken
// within each round and the median of the per-round ratios is reported.
void measureRoundTrips(Requester& r, int rounds, int floorIterations, int daemonIterations) {
    struct Floor {
        const char* name;
        int hops;
        bool reopen;
    };
    const Floor floors[] = {{"queue 2-hop", 2, false},
                            {"queue 2-hop, reply queue opened per answer", 2, true},
                            {"queue 4-hop chain", 4, false}};
    struct Request {
        const char* name;
        uint32_t id;
        std::vector<uint8_t> arg;
        const char* floor;
    };
    const Request requests[] = {
        {"daemon: set-log-level (42), no camera exchange", ZTCONTROL_SET_LOG_LEVEL, {2, 0, 0, 0}, floors[1].name},
        {"daemon: locate (37), one camera exchange", ZTCONTROL_LOCATE, {0}, floors[2].name},
        {"daemon: get-all-settings-status (34), several", ZTCONTROL_GET_ALL_SETTINGS_STATUS, {}, floors[2].name},
        {"daemon: preset-group-list (70), protobuf answer", ZTCONTROL_PRESET_GROUP_LIST, {}, floors[2].name},
    };
    std::map<std::string, std::vector<double>> samples, ratios;
    for (int k = 0; k < rounds; ++k) {
        std::map<std::string, double> floorMedian;
        for (const Floor& f : floors) {
            std::vector<double> us = queueFloor(f.hops, f.reopen, floorIterations);
            floorMedian[f.name] = median(us);
            samples[f.name].insert(samples[f.name].end(), us.begin(), us.end());
        }
        for (const Request& q : requests) {
            std::vector<double> us = roundTrips(r, q.id, q.arg, daemonIterations);
            if (!us.empty() && floorMedian[q.floor] > 0) ratios[q.name].push_back(median(us) / floorMedian[q.floor]);
            samples[q.name].insert(samples[q.name].end(), us.begin(), us.end());
        }
    }
    for (const Floor& f : floors) addRow(f.name, samples[f.name]);
    for (const Request& q : requests) {
        addRow(q.name, samples[q.name], q.floor);
        g_ratios[q.name] = median(ratios[q.name]);
        if (q.id == ZTCONTROL_SET_LOG_LEVEL) {
            r.call(q.id, q.arg);
            measureDbusPeer(r.requestBytes(q.id, q.arg), r.answerBytes(), daemonIterations * rounds);
        }
    }
}

void measureDaemon(const Options& o) {
    const int iterations = o.quick ? 200 : 5000;
    mq_unlink("/to_ztCtlD");
    mq_unlink("/to_ztCtlD2");
    mq_unlink("/to_ztnet");
    const std::string control = "/tmp/zt_bench_camsim_" + std::to_string(getpid()) + ".sock";
    pid_t sim = zt_process::spawnQuiet({ZTCAMSIM_BIN, "--quiet", "--control", control});
    for (int i = 0; i < 100; ++i) {
        mqd_t m = mq_open("/to_ztnet", O_WRONLY);
        if (m != (mqd_t)-1) {
            mq_close(m);
            break;
        }
        usleep(20 * 1000);
    }
    const double started = nowUs();
    zt_process::spawnQuiet({ZTCONTROLD_BIN});
    int fd = -1;
    while ((fd = zt_process::connectLoopback(kPort)) < 0 && nowUs() - started < 15e6) usleep(1000);
    if (fd < 0) {
        fprintf(stderr, "bench_e2e: the daemon did not start listening\n");
        g_failed = true;
        kill(sim, SIGTERM);
        waitpid(sim, nullptr, 0);
        return;
    }
    close(fd);
    g_figures.push_back({"start_to_listening_ms", (nowUs() - started) / 1000.0});
    const pid_t daemon = zt_process::findDaemon();
    {
        Requester r;
        if (!r.ok()) {
            fprintf(stderr, "bench_e2e: cannot open the daemon's mailbox\n");
            g_failed = true;
        } else {
            const int rounds = o.quick ? 5 : 10;
            measureRoundTrips(r, rounds, (o.quick ? 500 : 20000) / rounds, iterations / rounds);
            addRow("notification: command answer to TCP frame", notificationLatency(r, o.quick ? 10 : 100));
            addRow("notification: camera change to TCP frame", simulatorChangeLatency(r, control, o.quick ? 3 : 40));
            const double idle = o.quick ? 1.0 : 10.0;
            if (daemon > 0) {
                for (int clients : {0, 1, 10})
                    g_figures.push_back({"idle_cpu_percent_" + std::to_string(clients) + "_clients",
                                         idleCpuPercent(daemon, r, clients, idle)});
                g_figures.push_back({"rss_kib", (double)rssKb(daemon)});
            }
            r.call(ZTCONTROL_STOP, {});
        }
    }
    for (int i = 0; i < 100 && daemon > 0 && kill(daemon, 0) == 0; ++i) usleep(50 * 1000);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
}

void printTable() {
    printf("%-52s %8s %10s %10s %8s\n", "path", "samples", "median us", "p99 us", "ratio");
    for (const Row& row : g_rows) {
        double ratio = g_ratios.count(row.name) ? g_ratios[row.name] : 0;
        for (const Row& f : g_rows)
            if (ratio == 0 && !row.floorName.empty() && f.name == row.floorName && f.percentile(0.5) > 0)
                ratio = row.percentile(0.5) / f.percentile(0.5);
        printf("%-52s %8zu %10.1f %10.1f ", row.name.c_str(), row.us.size(), row.percentile(0.5), row.percentile(0.99));
        if (ratio > 0)
            printf("%7.2fx\n", ratio);
        else
            printf("%8s\n", "-");
    }
    for (const auto& [name, value] : g_figures) printf("%-52s %.3f\n", name.c_str(), value);
}

int attach(const Options& o) {
    Requester r;
    if (!r.ok()) {
        fprintf(stderr, "bench_e2e: cannot open the daemon's mailbox\n");
        return 1;
    }
    // The argument of the table's row for the command, none for others.
    std::vector<uint8_t> arg;
    if (o.attachId == ZTCONTROL_LOCATE) arg = {0};
    if (o.attachId == ZTCONTROL_SET_LOG_LEVEL) arg = {2, 0, 0, 0};
    addRow("command " + std::to_string(o.attachId), roundTrips(r, (uint32_t)o.attachId, arg, o.attachCount));
    printTable();
    return g_rows.back().us.empty() ? 1 : 0;
}

void writeJson(const Options& o) {
    if (o.jsonPath.empty()) return;
    FILE* f = fopen(o.jsonPath.c_str(), "w");
    if (!f) return;
    fprintf(f, "{\"pinned\":%s,\"rows\":[", o.pin ? "true" : "false");
    for (size_t i = 0; i < g_rows.size(); ++i)
        fprintf(f,
                "%s{\"name\":\"%s\",\"samples\":%zu,\"median_us\":%.2f,\"p99_us\":%.2f,\"compared_with\":\"%s\","
                "\"ratio\":%.3f}",
                i ? "," : "", g_rows[i].name.c_str(), g_rows[i].us.size(), g_rows[i].percentile(0.5),
                g_rows[i].percentile(0.99), g_rows[i].floorName.c_str(),
                g_ratios.count(g_rows[i].name) ? g_ratios[g_rows[i].name] : 0.0);
    fprintf(f, "],\"figures\":{");
    for (size_t i = 0; i < g_figures.size(); ++i)
        fprintf(f, "%s\"%s\":%.3f", i ? "," : "", g_figures[i].first.c_str(), g_figures[i].second);
    fprintf(f, "}}\n");
    fclose(f);
}

void writeSamples(const Options& o) {
    if (o.samplesDir.empty()) return;
    for (size_t i = 0; i < g_rows.size(); ++i) {
        FILE* f = fopen((o.samplesDir + "/row" + std::to_string(i) + ".dat").c_str(), "w");
        if (!f) continue;
        fprintf(f, "# %s\n", g_rows[i].name.c_str());
        for (size_t k = 0; k < g_rows[i].us.size(); ++k)
            fprintf(f, "%.2f %.4f\n", g_rows[i].us[k], (double)(k + 1) / (double)g_rows[i].us.size());
        fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
        } else if (a == "--no-pin") {
            o.pin = false;
        } else if (a == "--json" && i + 1 < argc) {
            o.jsonPath = argv[++i];
        } else if (a == "--samples" && i + 1 < argc) {
            o.samplesDir = argv[++i];
        } else if (a == "--attach" && i + 2 < argc) {
            o.attachId = atoi(argv[++i]);
            o.attachCount = atoi(argv[++i]);
        } else {
            printf("usage: bench_e2e [--quick] [--no-pin] [--json FILE] [--samples DIR]\n"
                   "  Round trips through raw queues (the floor) and through ztControlD with ztcamsim,\n"
                   "  notification latency, idle CPU and RSS of the daemon. Uses the daemon's fixed\n"
                   "  mailboxes and port 8081: run it while no daemon, simulator or test runs.\n"
                   "  --quick    few samples (a smoke run)\n"
                   "  --no-pin   leave the processes on any CPU (cross-CPU wake-ups then dominate)\n"
                   "  --json F   write the results as JSON\n"
                   "  --samples D  write each row's sorted samples to D/rowN.dat (for a chart)\n"
                   "  --attach ID COUNT  only COUNT round trips of command ID to a running daemon\n");
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    if (o.pin) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        sched_setaffinity(0, sizeof one, &one);  // inherited by every process started below
    }
    if (o.attachId >= 0) return attach(o);
    measureDaemon(o);
    printTable();
    writeJson(o);
    writeSamples(o);
    return g_failed ? 1 : 0;
}
