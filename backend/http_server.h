#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "backend/api.h"
#include "backend/request.h"
#include "protocol/backend_protocol.h"

namespace backend {

// What one client may make the server hold, whoever sends it.
struct HttpLimits {
    std::size_t maxBodyBytes = 128 * 1024;   // however the body is framed (chunked too): 413
    std::size_t maxHeaderBytes = 16 * 1024;  // request line and header fields: 431
    std::size_t maxHeaderFields = 100;       // 431
    // From the first byte of a request (or the end of the previous answer) to its last byte;
    // the connection is closed past it. Answers get as long to be written.
    std::chrono::milliseconds requestTimeout{10000};
    int maxConnections = 1024;  // open at once; more are answered 503 and closed
};

// An HTTP/1.1 server on asio with our own routing: every answer is an envelope (or a page),
// unknown paths and methods included, and no exception reaches the client as anything but code
// 10500. Connections wait for their bytes without holding a thread, so slow clients cannot
// starve the others; handlers run on `threads` threads.
class HttpServer {
public:
    using Handler = std::function<Reply(const Request&)>;

    HttpServer(int threads, const HttpLimits& limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Exact paths; "GET" routes answer HEAD too. Before Serve only.
    void Route(const std::string& method, const std::string& path, Handler handler);
    // A path of the protocol the program calls, with its method.
    void Route(const velmora::protocol::Endpoint& endpoint, Handler handler);

    // The answer of the routes to one request, as served (without the transport).
    Reply Dispatch(const Request& req) const;

    // Binds the listening socket; the port bound (useful with port 0), or -1 with `error`.
    int Bind(const std::string& host, int port, std::string& error);
    // Serves until Stop; the requests already sent are served first. False when serving failed.
    bool Serve();
    // Stops accepting connections; any thread, any time (also before Serve, which then returns
    // at once). Answers sent from now on close their connection.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unordered_map<std::string, Handler> routes_;  // "METHOD path"
    std::unordered_set<std::string> paths_;
};

}  // namespace backend
