#include "backend/http_server.h"

#include <spdlog/spdlog.h>

#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace backend {

namespace {

// An envelope for the failures cpp-httplib answers itself (malformed requests, bodies over the
// limit).
std::string EnvelopeForStatus(int status) {
    switch (status) {
        case 413:
            return Fail(ApiCode::TooLarge).body;
        case 404:
            return Fail(ApiCode::NotFound).body;
        case 500:
            return Fail(ApiCode::Internal).body;
        default:
            return Fail(ApiCode::BadJson, "请求格式错误").body;
    }
}

}  // namespace

HttpServer::HttpServer(int threads, std::size_t maxBodyBytes) {
    server_.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    server_.set_payload_max_length(maxBodyBytes);
    server_.set_keep_alive_max_count(1000);
    // An idle kept-alive connection holds its thread (and a shutdown) at most this long.
    server_.set_keep_alive_timeout(2);
    server_.set_read_timeout(5, 0);
    server_.set_write_timeout(5, 0);
    server_.set_tcp_nodelay(true);
    // SO_REUSEADDR only: cpp-httplib's default also sets SO_REUSEPORT, which lets a second
    // back-end bind the same port and silently share its connections.
    server_.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(req, res);
    };
    server_.Get(".*", dispatch);
    server_.Post(".*", dispatch);
    server_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(EnvelopeForStatus(res.status), kJsonType);
        }
    });
    server_.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "unknown exception";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            spdlog::error("{} {} failed: {}", req.method, req.path, what);
            res.status = 500;
            res.set_content(Fail(ApiCode::Internal).body, kJsonType);
        });
}

void HttpServer::Route(const std::string& method, const std::string& path, Handler handler) {
    routes_[method + " " + path] = std::move(handler);
    paths_.insert(path);
}

void HttpServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
    const auto start = std::chrono::steady_clock::now();
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    const auto it = routes_.find(method + " " + req.path);
    Reply reply;
    if (it != routes_.end()) {
        reply = it->second(req);
    } else if (paths_.count(req.path) != 0) {
        reply = Fail(ApiCode::BadMethod);
        reply.status = 405;
    } else {
        reply = Fail(ApiCode::NotFound);
        reply.status = 404;
    }
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType);
    if (stopRequested_) {
        res.set_header("Connection", "close");
    }
    // Paths and status only: queries, headers and bodies may carry tokens, codes and states.
    spdlog::debug("{} {} {} {} bytes {} us", req.method, req.path, reply.status, reply.body.size(),
                  std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count());
}

int HttpServer::Bind(const std::string& host, int port, std::string& error) {
    const int bound =
        port == 0 ? server_.bind_to_any_port(host) : (server_.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + host + ":" + std::to_string(port) +
                " (address in use or not available)";
        return -1;
    }
    // Listening again on a listening socket only changes its backlog.
    if (::listen(server_.Socket(), SOMAXCONN) != 0) {
        spdlog::warn("widening the listen backlog failed, errno {}", errno);
    }
    return bound;
}

bool HttpServer::Serve() {
    const bool ok = server_.listen_after_bind();
    return ok || stopRequested_;
}

// cpp-httplib's own stop() marks the server socket invalid, and every worker then closes its
// connection unanswered: a request already sent but not yet picked up, or the next request on a
// kept-alive connection, is lost. Shutting the listening socket down instead ends the accept
// loop while the workers still serve what they hold; the closing answers and the keep-alive
// timeout bound how long that takes.
void HttpServer::Stop() {
    if (!stopRequested_.exchange(true)) {
        ::shutdown(server_.Socket(), SHUT_RDWR);
    }
}

}  // namespace backend
