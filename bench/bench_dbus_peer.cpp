// The peer a team might build instead of the daemon's queues: the same request/response shape over
// D-Bus, through a private dbus-daemon (the broker) to an sd-bus service and back. Everything runs
// as processes of their own, started here and inheriting the caller's CPU pinning.
#include "bench_dbus_peer.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

constexpr const char* kName = "org.zt.BenchPeer";
constexpr const char* kPath = "/org/zt/BenchPeer";
constexpr uint64_t kCallTimeoutUs = 2 * 1000 * 1000;

double nowUs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

size_t g_answerBytes = 0;
bool g_quit = false;

int echo(sd_bus_message* m, void*, sd_bus_error*) {
    const void* data = nullptr;
    size_t n = 0;
    int r = sd_bus_message_read_array(m, 'y', &data, &n);
    if (r < 0) return r;
    static uint8_t answer[1500];
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_append_array(reply, 'y', answer, g_answerBytes);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int quit(sd_bus_message* m, void*, sd_bus_error*) {
    g_quit = true;
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Echo", "ay", "ay", echo, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", quit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

sd_bus* connectTo(const std::string& address) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return nullptr;
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}

[[noreturn]] void serve(const std::string& address) {
    sd_bus* bus = connectTo(address);
    if (!bus || sd_bus_add_object_vtable(bus, nullptr, kPath, kName, kVtable, nullptr) < 0 ||
        sd_bus_request_name(bus, kName, 0) < 0)
        _exit(1);
    while (!g_quit) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) _exit(1);
        if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) _exit(1);
    }
    sd_bus_flush_close_unref(bus);
    _exit(0);
}

pid_t spawnBroker(const std::string& config) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    const std::string arg = "--config-file=" + config;
    execlp("dbus-daemon", "dbus-daemon", arg.c_str(), "--nofork", "--nopidfile", (char*)nullptr);
    _exit(127);
}

// One call of Echo; false on any failure.
bool call(sd_bus* bus, const uint8_t* request, size_t length, sd_bus_error* error) {
    sd_bus_message* m = nullptr;
    sd_bus_message* reply = nullptr;
    bool ok = sd_bus_message_new_method_call(bus, &m, kName, kPath, kName, "Echo") >= 0 &&
              sd_bus_message_append_array(m, 'y', request, length) >= 0 &&
              sd_bus_call(bus, m, kCallTimeoutUs, error, &reply) >= 0;
    sd_bus_message_unref(m);
    sd_bus_message_unref(reply);
    return ok;
}

}  // namespace

std::vector<double> dbusPeerRoundTrips(int iterations, size_t requestBytes, size_t answerBytes, std::string* why) {
    std::vector<double> us;
    char dir[] = "/tmp/zt_bench_dbus_XXXXXX";
    if (!mkdtemp(dir)) {
        *why = "no temporary folder";
        return us;
    }
    const std::string socketPath = std::string(dir) + "/bus";
    const std::string config = std::string(dir) + "/bus.conf";
    const std::string address = "unix:path=" + socketPath;
    if (FILE* f = fopen(config.c_str(), "w")) {
        fprintf(f,
                "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>%s</listen><auth>EXTERNAL</auth>\n"
                "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/></policy>\n"
                "</busconfig>\n",
                address.c_str());
        fclose(f);
    }
    const pid_t broker = spawnBroker(config);
    struct stat st;
    for (int i = 0; i < 200 && stat(socketPath.c_str(), &st) != 0; ++i) usleep(10 * 1000);
    g_answerBytes = answerBytes;
    const pid_t service = fork();
    if (service == 0) serve(address);

    sd_bus* bus = connectTo(address);
    std::vector<uint8_t> request(requestBytes, 0x5a);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    bool ready = false;
    for (int i = 0; bus && !ready && i < 200; ++i) {
        ready = call(bus, request.data(), request.size(), &error);
        sd_bus_error_free(&error);
        if (!ready) usleep(10 * 1000);
    }
    if (!ready) *why = bus ? "the sd-bus service did not answer" : "cannot connect to the private dbus-daemon";
    for (int i = 0; ready && i < iterations + 100; ++i) {  // the first 100 warm up
        const double t0 = nowUs();
        if (!call(bus, request.data(), request.size(), &error)) {
            *why = std::string("call failed: ") + (error.message ? error.message : "?");
            sd_bus_error_free(&error);
            break;
        }
        if (i >= 100) us.push_back(nowUs() - t0);
    }
    if (bus) {
        sd_bus_call_method(bus, kName, kPath, kName, "Quit", &error, nullptr, "");
        sd_bus_error_free(&error);
        sd_bus_flush_close_unref(bus);
    }
    kill(service, SIGTERM);
    waitpid(service, nullptr, 0);
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    unlink(socketPath.c_str());
    unlink(config.c_str());
    rmdir(dir);
    return us;
}
