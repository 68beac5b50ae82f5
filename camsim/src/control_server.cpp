#include "control_server.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace camsim {

namespace {

bool fillAddress(const std::string& path, sockaddr_un* addr) {
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
    memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// True when a process accepts connections at the path.
bool socketInUse(const sockaddr_un& addr) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool live = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return live;
}

}  // namespace

ControlServer::ControlServer(const SimLog& log, Handler handler) : log_(log), handler_(std::move(handler)) {}

ControlServer::~ControlServer() { stop(); }

int ControlServer::start(const std::string& path, std::string* error) {
    sockaddr_un addr;
    if (!fillAddress(path, &addr)) {
        *error = "control socket path is empty or too long: " + path;
        return -1;
    }
    if (socketInUse(addr)) {
        *error = "control socket " + path + " is in use (another simulator is running)";
        return -1;
    }
    unlink(path.c_str());  // a stale file from a simulator that died
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listenFd_ < 0 || wakeFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, 8) != 0) {
        *error = "control socket " + path + ": " + strerror(errno);
        if (listenFd_ >= 0) close(listenFd_);
        if (wakeFd_ >= 0) close(wakeFd_);
        listenFd_ = wakeFd_ = -1;
        return -1;
    }
    path_ = path;
    clients_.reserve(kMaxClients);
    thread_ = std::thread(&ControlServer::run, this);
    return 0;
}

void ControlServer::stop() {
    if (!thread_.joinable()) return;
    uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) log_.write(SIMLOG_ERROR, "control wake: %s", strerror(errno));
    thread_.join();
    for (Client& c : clients_) close(c.fd);
    clients_.clear();
    close(listenFd_);
    close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
    unlink(path_.c_str());
}

void ControlServer::reply(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            log_.write(SIMLOG_ERROR, "control reply not sent: %s", n < 0 ? strerror(errno) : "closed");
            return;
        }
        done += size_t(n);
    }
}

bool ControlServer::serveClient(Client& c) {
    char chunk[512];
    ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
    if (n <= 0) return n < 0 && (errno == EINTR || errno == EAGAIN);
    c.buf.append(chunk, size_t(n));
    size_t eol;
    while ((eol = c.buf.find('\n')) != std::string::npos) {
        std::string line = c.buf.substr(0, eol);
        c.buf.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "quit") return false;
        reply(c.fd, handler_(line));
    }
    if (c.buf.size() > kMaxLine) {
        reply(c.fd, "error line too long\n");
        return false;
    }
    return true;
}

void ControlServer::run() {
    std::vector<pollfd> fds;
    fds.reserve(2 + kMaxClients);
    for (;;) {
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            log_.write(SIMLOG_ERROR, "control poll: %s", strerror(errno));
            return;
        }
        if (fds[0].revents) return;
        // Clients first: their indexes in fds follow the order of clients_.
        for (size_t i = clients_.size(); i-- > 0;) {
            if (!fds[2 + i].revents) continue;
            if (!serveClient(clients_[i])) {
                close(clients_[i].fd);
                clients_.erase(clients_.begin() + long(i));
            }
        }
        if (fds[1].revents & POLLIN) {
            int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            if (clients_.size() >= kMaxClients) {
                reply(fd, "error too many control connections\n");
                close(fd);
                continue;
            }
            // A client that stops reading cannot hold the channel for long.
            timeval tv = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            clients_.push_back(Client{fd, std::string()});
        }
    }
}

}  // namespace camsim
