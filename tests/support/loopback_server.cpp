#include "tests/support/loopback_server.h"

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

LoopbackServer::Handler LoopbackServer::Recorded(Handler handler) {
    return
        [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex_);
                requests_.push_back({req.method, req.path, req.target, req.headers, req.body});
            }
            handler(req, res);
        };
}

void LoopbackServer::Get(const std::string& pattern, Handler handler) {
    server_->Get(pattern, Recorded(std::move(handler)));
}

void LoopbackServer::Post(const std::string& pattern, Handler handler) {
    server_->Post(pattern, Recorded(std::move(handler)));
}

void LoopbackServer::Route(bool post, const std::string& path) {
    auto handler = [this, path](const httplib::Request& req, httplib::Response& res) {
        Script script;
        {
            std::lock_guard lock(mutex_);
            script = scripts_[path];
        }
        const Reply reply = script ? script(req) : Reply{500, "not scripted"};
        res.status = reply.status;
        res.set_content(reply.body, "application/json");
    };
    post ? Post(path, handler) : Get(path, handler);
}

void LoopbackServer::Set(const std::string& path, Script script) {
    std::lock_guard lock(mutex_);
    scripts_[path] = std::move(script);
}

void LoopbackServer::Set(const std::string& path, int status, const std::string& body) {
    Set(path, [status, body](const httplib::Request&) { return Reply{status, body}; });
}

void LoopbackServer::Start() {
    // Short keep-alive so a client connection never keeps the server's workers busy for long.
    server_->set_keep_alive_timeout(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("loopback server could not bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    WaitUntil([this] { return server_->is_running(); });
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

std::vector<LoopbackServer::Request> LoopbackServer::Requests(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const Request& r : requests_) {
        if (path.empty() || r.path == path)
            out.push_back(r);
    }
    return out;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count) {
    return WaitUntil([&] { return Requests(path).size() >= count; });
}

VendorServices::VendorServices() : saved_(vl::Services()) {
    for (const char* path : {"/general", "/ocrapi", "/api"})
        Route(true, path);
    Route(false, "/token");
    Start();
    vl::ServiceConfig config;
    config.baiduOcr.tokenUrl = Url("/token");
    config.baiduOcr.generalUrl = Url("/general");
    config.youdaoOcr.url = Url("/ocrapi");
    config.youdaoTranslate.url = Url("/api");
    config.translate.memory = false;  // a test that wants the memory brings its own
    vl::SetServices(config);
}

VendorServices::~VendorServices() {
    Stop();
    vl::SetServices(saved_);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace vl::test
