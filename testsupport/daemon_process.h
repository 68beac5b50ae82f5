// The daemon and the simulator as processes, for the benchmark and the soak driver: starting a
// program with its output discarded, finding the detached daemon, connecting to its port.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "program_launch.h"

namespace zt_process {

// Starts the program (through the emulator of a cross build) with standard output and error sent
// to /dev/null; its process id.
inline pid_t spawnQuiet(const std::vector<std::string>& programAndArgs) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    zt_launch::exec(programAndArgs);
    _exit(127);
}

// A connection to the port on the loopback address; -1 when none.
inline int connectLoopback(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    close(fd);
    return -1;
}

// The daemon detaches: its process is found by name, the one ztControlD of this machine.
inline pid_t findDaemon() {
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    pid_t found = -1;
    while (dirent* e = readdir(proc)) {
        char path[300], comm[64] = {};
        snprintf(path, sizeof path, "/proc/%s/comm", e->d_name);
        FILE* f = fopen(path, "r");
        if (!f) continue;
        if (fgets(comm, sizeof comm, f) && strcmp(comm, "ztControlD\n") == 0) found = atoi(e->d_name);
        fclose(f);
    }
    closedir(proc);
    return found;
}

}  // namespace zt_process
