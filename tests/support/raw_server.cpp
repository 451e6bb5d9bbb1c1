#include "tests/support/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vl::test {

namespace {

// Waits for readable data for at most one poll interval.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 20) > 0;
}

}  // namespace

RawServer::RawServer(std::string reply) : reply_(std::move(reply)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("raw server could not listen");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
}

std::string RawServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string RawServer::Reply(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void RawServer::Serve() {
    while (!stop_) {
        const int fd =
            Readable(listenFd_) ? ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (fd < 0)
            continue;
        // The head and whatever follows it until the client pauses (a small body comes along).
        std::string data;
        char buf[4096];
        while (!stop_ && (data.find("\r\n\r\n") == std::string::npos || Readable(fd))) {
            const ssize_t n = Readable(fd) ? ::recv(fd, buf, sizeof(buf), 0) : 0;
            if (n < 0 || (n == 0 && data.find("\r\n\r\n") != std::string::npos))
                break;
            data.append(buf, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(data);
        }
        if (!reply_.empty()) {
            (void)!::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        } else {
            // Never answers: holds the connection until the client gives up or the server stops.
            while (!stop_ && !(Readable(fd) && ::recv(fd, buf, sizeof(buf), 0) <= 0)) {
            }
        }
        ::close(fd);
    }
}

}  // namespace vl::test
