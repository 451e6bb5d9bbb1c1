#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "backend/config.h"
#include "backend/goods.h"
#include "backend/http_server.h"
#include "backend/providers.h"
#include "backend/store.h"

namespace backend {

// What the request handlers share. Filled before serving starts and read-only afterwards (the
// store and providers are safe to call from every request thread).
struct Context {
    Config config;
    std::string publicUrl;
    std::unique_ptr<IStore> store;
    Catalogue goods;
    std::unique_ptr<ISmsSender> sms;
    std::map<std::string, std::unique_ptr<IQrLoginProvider>> qr;  // by Name()
    std::unique_ptr<IPaymentProvider> payment;

    // The client's address: the peer, or the first X-Forwarded-For hop behind a trusted proxy.
    std::string ClientAddress(const httplib::Request& req) const;
};

void AddAccountRoutes(HttpServer& http, Context& ctx);
void AddUsageRoutes(HttpServer& http, Context& ctx);
void AddShopRoutes(HttpServer& http, Context& ctx);
void AddInfoRoutes(HttpServer& http, Context& ctx);

// The back-end: the store, the routes, the HTTP server and the maintenance thread that prunes
// expired data.
class App {
public:
    App() = default;
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Loads the goods, opens the store and binds the listening socket. False with a message.
    bool Start(const Config& config, std::string& error);
    int Port() const { return port_; }
    const std::string& PublicUrl() const { return ctx_.publicUrl; }

    // Serves until Stop (blocking). False when serving failed.
    bool Serve();
    // Ends Serve after the requests in flight; any thread.
    void Stop();

private:
    void Maintain();

    Context ctx_;
    std::unique_ptr<HttpServer> http_;
    int port_ = 0;
    std::mutex maintainMutex_;
    std::condition_variable maintainWake_;
    bool maintainStop_ = false;
    std::thread maintainThread_;
};

}  // namespace backend
