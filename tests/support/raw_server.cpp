#include "tests/support/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace vl::test {

namespace {

constexpr int kPollMs = 20;

// Waits for readable data for at most one poll interval.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kPollMs) > 0;
}

std::size_t ContentLength(const std::string& head) {
    std::string lower = head;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return static_cast<std::size_t>(std::strtoul(head.c_str() + at + 17, nullptr, 10));
}

}  // namespace

RawServer::RawServer(std::string reply) : reply_(std::move(reply)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
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
    Stop();
}

void RawServer::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
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
        if (!Readable(listenFd_))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::string data;
        char buf[4096];
        std::size_t headEnd = std::string::npos;
        while (!stop_) {
            if (headEnd != std::string::npos &&
                data.size() >= headEnd + 4 + ContentLength(data.substr(0, headEnd))) {
                break;
            }
            if (!Readable(fd))
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            data.append(buf, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos)
                headEnd = data.find("\r\n\r\n");
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(data);
        }
        if (!reply_.empty()) {
            (void)!::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        } else {
            // Never answers: hold the connection until the client gives up or we stop.
            while (!stop_) {
                if (Readable(fd) && ::recv(fd, buf, sizeof(buf), 0) <= 0)
                    break;
            }
        }
        ::close(fd);
    }
}

}  // namespace vl::test
