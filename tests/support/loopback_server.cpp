#include "tests/support/loopback_server.h"

#include <chrono>
#include <stdexcept>

namespace vl::test {

std::string LoopbackServer::Request::Header(const std::string& key) const {
    const auto it = headers.find(key);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const std::string& certFile, const std::string& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
      https_(true) {}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Get(const std::string& pattern, Handler handler) {
    server_->Get(pattern, [this, handler = std::move(handler)](const httplib::Request& req,
                                                               httplib::Response& res) {
        Record(req);
        handler(req, res);
    });
}

void LoopbackServer::Post(const std::string& pattern, Handler handler) {
    server_->Post(pattern, [this, handler = std::move(handler)](const httplib::Request& req,
                                                                httplib::Response& res) {
        Record(req);
        handler(req, res);
    });
}

void LoopbackServer::Start() {
    // Short keep-alive so a client connection never keeps the server's workers busy for long.
    server_->set_keep_alive_timeout(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("loopback server could not bind");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void LoopbackServer::Stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string LoopbackServer::Url(const std::string& path) const {
    return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackServer::RequestCount() {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void LoopbackServer::Record(const httplib::Request& req) {
    Request r;
    r.method = req.method;
    r.path = req.path;
    r.target = req.target;
    r.headers = req.headers;
    r.body = req.body;
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(r));
}

}  // namespace vl::test
