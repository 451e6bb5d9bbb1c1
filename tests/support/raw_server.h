#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vl::test {

// A TCP server on 127.0.0.1 that records each request's raw bytes (the head, and a body sent
// with it) and answers with a fixed reply, or never answers when the reply is empty. One
// connection at a time; destruction ends everything within a poll interval.
class RawServer {
public:
    explicit RawServer(std::string reply);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::string Url(const std::string& path = "") const;
    std::vector<std::string> Requests();

    // "HTTP/1.1 <status> X\r\nContent-Length: n\r\nConnection: close\r\n\r\n<body>"
    static std::string Reply(int status, const std::string& body);

private:
    void Serve();

    std::string reply_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

}  // namespace vl::test
