// A system log of the test's own: a datagram socket that a program started through
// launchWithPrivateLog() finds as its /dev/log (a mount namespace of the child's own with a fresh
// /dev), and that the test reads, or stops reading, as it likes.
#ifndef ZTCONTROLD_TESTS_PRIVATE_SYSLOG_H
#define ZTCONTROLD_TESTS_PRIVATE_SYSLOG_H

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <poll.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "program_launch.h"

class PrivateSyslog {
public:
    PrivateSyslog() : dir_("/tmp/ztcontrold-log-" + std::to_string(getpid())) {
        mkdir(dir_.c_str(), 0700);
        unlink(socketPath().c_str());
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr = {AF_UNIX, {}};
        strncpy(addr.sun_path, socketPath().c_str(), sizeof(addr.sun_path) - 1);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    ~PrivateSyslog() {
        close(fd_);
        unlink(socketPath().c_str());
        rmdir((dir_ + "/dev").c_str());
        rmdir(dir_.c_str());
    }
    bool bound() const { return bound_; }

    // Forks and runs the program with standard output and error on /dev/null and this log as its
    // /dev/log; the child's pid. Other names of /dev lead to the real ones.
    pid_t launchWithPrivateLog(const std::vector<std::string>& programAndArgs) {
        const std::string realDev = dir_ + "/dev";
        mkdir(realDev.c_str(), 0700);
        const pid_t pid = fork();
        if (pid != 0) return pid;
        int null = open("/dev/null", O_RDWR);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, fd);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("/dev", realDev.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") != 0)
            _exit(126);
        for (const char* name : {"null", "zero", "full", "random", "urandom", "shm", "mqueue", "pts", "ptmx", "fd"})
            if (symlink((realDev + "/" + name).c_str(), (std::string("/dev/") + name).c_str()) != 0) _exit(126);
        if (symlink(socketPath().c_str(), "/dev/log") != 0) _exit(126);
        zt_launch::exec(programAndArgs);
        _exit(127);
    }

    // The datagrams that arrive within waitMs.
    std::vector<std::string> read(int waitMs) {
        std::vector<std::string> lines;
        char buffer[2048];
        pollfd p = {fd_, POLLIN, 0};
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        int left = waitMs;
        while (left > 0 && poll(&p, 1, left) > 0) {
            left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
            if (n <= 0) break;
            lines.emplace_back(buffer, (size_t)n);
        }
        return lines;
    }

private:
    std::string socketPath() const { return dir_ + "/log"; }

    std::string dir_;
    int fd_ = -1;
    bool bound_ = false;
};

#endif
