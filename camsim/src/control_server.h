// The control channel: a Unix stream socket that takes one command per line and writes one reply
// per command (a single "ok ..."/"error ..." line, or a document ended by an empty line).
#ifndef CAMSIM_CONTROL_SERVER_H
#define CAMSIM_CONTROL_SERVER_H

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim_log.h"

namespace camsim {

class ControlServer {
public:
    using Handler = std::function<std::string(const std::string& line)>;
    static constexpr size_t kMaxClients = 8;
    static constexpr size_t kMaxLine = 1024;

    ControlServer(const SimLog& log, Handler handler);
    ~ControlServer();
    // Binds the socket (a live one at the path is an error; a stale file is replaced) and starts
    // the thread. 0, or -1 with the reason in *error.
    int start(const std::string& path, std::string* error);
    void stop();  // closes every connection and removes the socket file

private:
    struct Client {
        int fd = -1;
        std::string buf;
    };
    void run();
    bool serveClient(Client& c);  // false: close it
    void reply(int fd, const std::string& text);

    const SimLog& log_;
    Handler handler_;
    std::string path_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::vector<Client> clients_;
    std::thread thread_;
};

}  // namespace camsim

#endif
