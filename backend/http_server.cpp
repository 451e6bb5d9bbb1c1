#include "backend/http_server.h"

#include <spdlog/spdlog.h>

#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace backend {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// How long a connection that waits for its next request stays open once the server stops: a
// request already on its way is still read, an idle kept-alive connection is not waited for.
constexpr auto kStopGrace = std::chrono::milliseconds(300);
// After an answer that ends a connection early (a body over the limit, a malformed request), at
// most this much more is read and dropped, so the client reads the answer instead of a reset.
constexpr std::size_t kDrainBytes = 1024 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr auto kAcceptRetry = std::chrono::milliseconds(50);
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

Reply Failure(int status, ApiCode code, const std::string& msg = "") {
    Reply r = Fail(code, msg);
    r.status = status;
    return r;
}

bool IsParseError(const beast::error_code& ec) {
    return ec.category() == beast::error_code(http::error::bad_target).category();
}

}  // namespace

struct HttpServer::Impl {
    struct Session;

    Impl(const HttpServer& owner, int threads, const HttpLimits& limits)
        : owner(owner), threads(threads), limits(limits), acceptor(io), retry(io) {}

    void Accept();
    void Refuse(tcp::socket& socket);

    const HttpServer& owner;
    const int threads;
    const HttpLimits limits;
    std::atomic<bool> stopping{false};
    // Before the io_context: sessions still queued in it unregister when it is destroyed.
    std::atomic<int> live{0};
    std::mutex sessionsMutex;
    std::unordered_map<Session*, std::weak_ptr<Session>> sessions;
    asio::io_context io;
    tcp::acceptor acceptor;
    asio::steady_timer retry;
};

// One connection. Everything of it runs on its own strand; one timer bounds each request read
// whole and each answer written whole.
struct HttpServer::Impl::Session : std::enable_shared_from_this<Session> {
    Session(Impl& server, tcp::socket s)
        : server(server), socket(std::move(s)), timer(socket.get_executor()) {
        beast::error_code ec;
        const tcp::endpoint peer = socket.remote_endpoint(ec);
        if (!ec) {
            remoteAddr = peer.address().to_string();
        }
        socket.set_option(tcp::no_delay(true), ec);
    }

    ~Session() {
        std::lock_guard lock(server.sessionsMutex);
        server.sessions.erase(this);
        --server.live;
    }

    void Arm(std::chrono::steady_clock::duration d) {
        timer.expires_after(d);
        timer.async_wait([self = shared_from_this()](const beast::error_code& ec) {
            // A timer set again cancels its wait; an expiry already queued is checked here.
            if (!ec && self->timer.expiry() <= std::chrono::steady_clock::now()) {
                self->Close();
            }
        });
    }

    void Close() {
        if (closed) {
            return;
        }
        closed = true;
        beast::error_code ec;
        socket.shutdown(tcp::socket::shutdown_both, ec);
        socket.close(ec);
        timer.cancel();
    }

    void ReadNext() {
        parser.emplace();
        parser->body_limit(server.limits.maxBodyBytes);
        parser->header_limit(static_cast<std::uint32_t>(server.limits.maxHeaderBytes));
        waitingForRequest = true;
        Arm(server.stopping && buffer.size() == 0 ? kStopGrace : server.limits.requestTimeout);
        http::async_read_header(
            socket, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnHeader(ec); });
    }

    // The server stops: a connection waiting for a request it has not begun gets a short grace.
    void OnStop() {
        if (!closed && waitingForRequest && buffer.size() == 0 && !parser->got_some()) {
            Arm(kStopGrace);
        }
    }

    void OnHeader(beast::error_code ec) {
        waitingForRequest = false;
        if (ec) {
            return OnReadError(ec);
        }
        const auto& req = parser->get();
        std::size_t fields = 0;
        for (auto it = req.begin(); it != req.end(); ++it) {
            ++fields;
        }
        if (fields > server.limits.maxHeaderFields) {
            return Answer(Failure(431, ApiCode::BadField, "请求头过多"), false, false, true);
        }
        if (beast::iequals(req[http::field::expect], "100-continue") && !parser->is_done()) {
            asio::async_write(socket, asio::buffer(kContinue.data(), kContinue.size()),
                              [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                  if (ec) {
                                      return self->Close();
                                  }
                                  self->ReadBody();
                              });
            return;
        }
        ReadBody();
    }

    void ReadBody() {
        http::async_read(
            socket, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnBody(ec); });
    }

    void OnReadError(const beast::error_code& ec) {
        if (closed || ec == http::error::end_of_stream || ec == http::error::partial_message ||
            ec == asio::error::operation_aborted) {
            return Close();
        }
        if (ec == http::error::body_limit) {
            return Answer(Failure(413, ApiCode::TooLarge), false, false, true);
        }
        if (ec == http::error::header_limit) {
            return Answer(Failure(431, ApiCode::BadField, "请求头过大"), false, false, true);
        }
        if (IsParseError(ec)) {
            return Answer(Failure(400, ApiCode::BadJson, "请求格式错误"), false, false, true);
        }
        Close();
    }

    void OnBody(beast::error_code ec) {
        if (ec) {
            return OnReadError(ec);
        }
        timer.cancel();
        auto& msg = parser->get();
        Request req;
        req.method = std::string(msg.method_string());
        const std::string_view target(msg.target().data(), msg.target().size());
        const std::size_t mark = target.find('?');
        req.path = UrlDecode(target.substr(0, mark), false);
        if (mark != std::string_view::npos) {
            req.query = std::string(target.substr(mark + 1));
        }
        for (const auto& field : msg) {
            req.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        }
        req.body = std::move(msg.body());
        req.remoteAddr = remoteAddr;
        req.ParseParams();
        const bool keepAlive = msg.keep_alive();
        const Reply reply = server.owner.Dispatch(req);
        Answer(reply, keepAlive && !server.stopping, req.method == "HEAD", false);
    }

    // Writes the answer; then the next request, or the end of the connection (after reading
    // what the client still sends for a while when `drain`).
    void Answer(const Reply& reply, bool keepAlive, bool head, bool drain) {
        response = {};
        response.version(11);
        response.result(static_cast<unsigned>(reply.status));
        response.set(http::field::content_type, reply.contentType);
        for (const auto& [name, value] : reply.headers) {
            response.set(name, value);
        }
        response.keep_alive(keepAlive);
        response.body() = reply.body;
        response.prepare_payload();
        if (head) {
            response.body().clear();
        }
        Arm(server.limits.requestTimeout);
        http::async_write(
            socket, response,
            [self = shared_from_this(), keepAlive, drain](beast::error_code ec, std::size_t) {
                if (ec || self->closed) {
                    return self->Close();
                }
                if (keepAlive && !self->server.stopping) {
                    return self->ReadNext();
                }
                beast::error_code ignored;
                self->socket.shutdown(tcp::socket::shutdown_send, ignored);
                if (!drain) {
                    return self->Close();
                }
                self->Arm(kDrainTime);
                self->Drain();
            });
    }

    void Drain() {
        socket.async_read_some(asio::buffer(scratch),
                               [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                   self->drained += n;
                                   if (ec || self->drained > kDrainBytes) {
                                       return self->Close();
                                   }
                                   self->Drain();
                               });
    }

    Impl& server;
    tcp::socket socket;
    asio::steady_timer timer;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    http::response<http::string_body> response;
    std::string remoteAddr;
    bool waitingForRequest = false;
    bool closed = false;
    std::array<char, 16384> scratch{};
    std::size_t drained = 0;
};

void HttpServer::Impl::Accept() {
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (stopping || !acceptor.is_open()) {
            return;
        }
        if (ec) {
            // Out of descriptors, for instance: try again shortly rather than spin.
            spdlog::warn("accepting a connection failed: {}", ec.message());
            retry.expires_after(kAcceptRetry);
            retry.async_wait([this](const beast::error_code& e) {
                if (!e) {
                    Accept();
                }
            });
            return;
        }
        if (live >= limits.maxConnections) {
            Refuse(socket);
        } else {
            ++live;
            auto session = std::make_shared<Session>(*this, std::move(socket));
            {
                std::lock_guard lock(sessionsMutex);
                sessions.emplace(session.get(), session);
            }
            asio::post(session->socket.get_executor(), [session] { session->ReadNext(); });
        }
        Accept();
    });
}

// Over the connection bound: a short answer without reading the request, sent only if the socket
// takes it at once.
void HttpServer::Impl::Refuse(tcp::socket& socket) {
    const std::string body = Fail(ApiCode::TooMany).body;
    const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + std::string(kJsonType) +
        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
        body;
    beast::error_code ec;
    socket.non_blocking(true, ec);
    socket.send(asio::buffer(answer), 0, ec);
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
}

HttpServer::HttpServer(int threads, const HttpLimits& limits)
    : impl_(std::make_unique<Impl>(*this, std::max(1, threads), limits)) {}

HttpServer::~HttpServer() = default;

void HttpServer::Route(const std::string& method, const std::string& path, Handler handler) {
    routes_[method + " " + path] = std::move(handler);
    paths_.insert(path);
}

void HttpServer::Route(const velmora::protocol::Endpoint& endpoint, Handler handler) {
    Route(endpoint.method == velmora::protocol::Method::Get ? "GET" : "POST", endpoint.path,
          std::move(handler));
}

Reply HttpServer::Dispatch(const Request& req) const {
    const auto start = std::chrono::steady_clock::now();
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    const auto it = routes_.find(method + " " + req.path);
    Reply reply;
    if (it != routes_.end()) {
        try {
            reply = it->second(req);
        } catch (const std::exception& e) {
            spdlog::error("{} {} failed: {}", req.method, req.path, e.what());
            reply = Failure(500, ApiCode::Internal);
        } catch (...) {
            spdlog::error("{} {} failed: {}", req.method, req.path, "unknown exception");
            reply = Failure(500, ApiCode::Internal);
        }
    } else if (paths_.count(req.path) != 0) {
        reply = Failure(405, ApiCode::BadMethod);
    } else {
        reply = Failure(404, ApiCode::NotFound);
    }
    // Paths and status only: queries, headers and bodies may carry tokens, codes and states.
    spdlog::debug("{} {} {} {} bytes {} us", req.method, req.path, reply.status, reply.body.size(),
                  std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count());
    return reply;
}

int HttpServer::Bind(const std::string& host, int port, std::string& error) {
    error = "cannot listen on " + host + ":" + std::to_string(port) +
            " (address in use or not available)";
    beast::error_code ec;
    tcp::resolver resolver(impl_->io);
    const auto results = resolver.resolve(
        host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || results.empty()) {
        return -1;
    }
    const tcp::endpoint endpoint = results.begin()->endpoint();
    tcp::acceptor& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    // SO_REUSEADDR only, never SO_REUSEPORT: a second back-end must not share this port.
    if (!ec) {
        a.set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        a.bind(endpoint, ec);
    }
    if (!ec) {
        a.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        a.close(ec);
        return -1;
    }
    error.clear();
    return a.local_endpoint(ec).port();
}

bool HttpServer::Serve() {
    Impl& s = *impl_;
    if (!s.acceptor.is_open()) {
        return s.stopping;
    }
    asio::post(s.io, [&s] {
        if (s.stopping) {
            beast::error_code ec;
            s.acceptor.close(ec);
        } else {
            s.Accept();
        }
    });
    auto run = [&s] {
        for (;;) {
            try {
                s.io.run();
                return;
            } catch (const std::exception& e) {
                spdlog::error("serving failed: {}", e.what());
            }
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < s.threads; ++i) {
        pool.emplace_back(run);
    }
    run();
    for (std::thread& t : pool) {
        t.join();
    }
    return s.stopping;
}

void HttpServer::Stop() {
    Impl& s = *impl_;
    if (s.stopping.exchange(true)) {
        return;
    }
    asio::post(s.io, [&s] {
        beast::error_code ec;
        s.acceptor.close(ec);
        s.retry.cancel();
    });
    // Collected first: the last reference may go here, and a session unregisters under the lock.
    std::vector<std::shared_ptr<Impl::Session>> open;
    {
        std::lock_guard lock(s.sessionsMutex);
        for (auto& [raw, weak] : s.sessions) {
            if (auto session = weak.lock()) {
                open.push_back(std::move(session));
            }
        }
    }
    for (auto& session : open) {
        asio::post(session->socket.get_executor(), [session] { session->OnStop(); });
    }
}

}  // namespace backend
