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

namespace protocol = velmora::protocol;

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
    bool standIns = false;      // the payment and QR confirmation pages are served
    bool standInsAuto = false;  // ... because the listening address is a loopback one
    std::string secret;         // key of the code hashes and the forms' tokens, per database

    // The client's address: the peer, or behind a trusted proxy the right-most X-Forwarded-For
    // entry, the one that proxy added (the entries left of it are the client's to write).
    std::string ClientAddress(const Request& req) const;
    // Whether a stand-in page answers this request: served, and when only because of a
    // loopback listening address, to a loopback client (a proxy in front may forward others).
    bool StandInFor(const Request& req) const;
    // The anti-forgery token of a stand-in form about `subject` (an order, a QR state).
    std::string FormToken(const std::string& subject) const;
    // A form post comes from our own page: its token matches and no other site sent it.
    bool FormPostTrusted(const Request& req, const std::string& subject) const;
};

// False with the reason when the configuration serves the stand-in pages on an address other
// than loopback without saying that is meant.
bool CheckStandIns(const Config& config, std::string& error);
// Everything the handlers need but the listening socket: goods, stand-in policy, store and its
// secret, providers with pages at `publicUrl`. False with a message.
bool BuildContext(const Config& config, const std::string& publicUrl, Context& ctx,
                  std::string& error);
// Every route of the back-end.
void AddRoutes(HttpServer& http, Context& ctx);

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
