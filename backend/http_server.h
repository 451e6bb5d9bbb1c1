#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "backend/api.h"

namespace backend {

// cpp-httplib with our own routing: every answer is an envelope (or a page), unknown paths and
// methods included, and no exception reaches the client as anything but code 10500.
class HttpServer {
public:
    using Handler = std::function<Reply(const httplib::Request&)>;

    HttpServer(int threads, std::size_t maxBodyBytes);

    // Exact paths; "GET" routes answer HEAD too.
    void Route(const std::string& method, const std::string& path, Handler handler);

    // Binds the listening socket; the port bound (useful with port 0), or -1 with `error`.
    int Bind(const std::string& host, int port, std::string& error);
    // Serves until Stop; the connections already accepted are served first. False when serving
    // failed.
    bool Serve();
    // Stops accepting connections; any thread, any time (also before Serve, which then returns
    // at once). Answers sent from now on close their connection.
    void Stop();

private:
    void Dispatch(const httplib::Request& req, httplib::Response& res);

    // The subclass reaches the listening socket: to widen its backlog (cpp-httplib's 5 makes a
    // burst of connections wait for the clients' SYN retries, a second or more) and to stop.
    class Server : public httplib::Server {
    public:
        int Socket() const { return svr_sock_; }
    };

    Server server_;
    std::unordered_map<std::string, Handler> routes_;  // "METHOD path"
    std::unordered_set<std::string> paths_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace backend
