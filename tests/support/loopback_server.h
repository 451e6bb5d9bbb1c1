#pragma once

#include <httplib.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vl::test {

// An HTTP (or HTTPS) server on 127.0.0.1 with an ephemeral port, running on its own thread for
// the lifetime of the object. Requests reaching the handlers added with Get and Post are
// recorded before their handler runs.
class LoopbackServer {
public:
    struct Request {
        std::string method;
        std::string path;    // without the query
        std::string target;  // path and query as sent
        httplib::Headers headers;
        std::string body;
        std::string Header(const std::string& key) const;
    };

    LoopbackServer();
    // HTTPS with the given certificate and key files.
    LoopbackServer(const std::string& certFile, const std::string& keyFile);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Routes are added before Start.
    void Get(const std::string& pattern, Handler handler);
    void Post(const std::string& pattern, Handler handler);
    httplib::Server& Routes() { return *server_; }
    void Start();
    void Stop();

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "") const;

    std::vector<Request> Requests();
    std::size_t RequestCount();

private:
    void Record(const httplib::Request& req);

    std::unique_ptr<httplib::Server> server_;
    bool https_ = false;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Request> requests_;
};

}  // namespace vl::test
