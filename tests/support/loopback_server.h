#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "utils/vl_services.h"

namespace vl::test {

// An HTTP (or HTTPS) server on 127.0.0.1 with an ephemeral port, running on its own thread for
// the lifetime of the object. Requests reaching its routes are recorded before they are answered.
// A route added with Get or Post runs its handler; one added with Route answers as the test
// scripts it with Set (500 until then).
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
    struct Reply {
        int status = 200;
        std::string body;
    };
    using Script = std::function<Reply(const httplib::Request&)>;
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    LoopbackServer();
    // HTTPS with the given certificate and key files.
    LoopbackServer(const std::string& certFile, const std::string& keyFile);
    virtual ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Routes are added before Start.
    void Get(const std::string& pattern, Handler handler);
    void Post(const std::string& pattern, Handler handler);
    void Route(bool post, const std::string& path);
    void Start();
    void Stop();

    void Set(const std::string& path, Script script);
    void Set(const std::string& path, int status, const std::string& body);

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "") const;

    // Requests that reached `path` (every request when empty), in order.
    std::vector<Request> Requests(const std::string& path = "");
    std::size_t RequestCount() { return Requests().size(); }
    bool WaitForRequests(const std::string& path, std::size_t count);

private:
    Handler Recorded(Handler handler);

    std::unique_ptr<httplib::Server> server_;
    bool https_ = false;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Request> requests_;
    std::map<std::string, Script> scripts_;
};

// Stand-ins for the OCR and translation services: Baidu's "/token" and "/general", Youdao's
// "/ocrapi" and "/api". The process configuration points at them while the object lives.
class VendorServices : public LoopbackServer {
public:
    VendorServices();
    ~VendorServices() override;

private:
    vl::ServiceConfig saved_;
};

// Waits until `done()` holds, checking every few milliseconds; false after `timeout`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace vl::test
