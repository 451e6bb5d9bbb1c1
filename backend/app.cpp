#include "backend/app.h"

#include <spdlog/spdlog.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "backend/embedded_files.h"
#include "backend/pg_store.h"
#include "backend/secrets.h"
#include "backend/sqlite_store.h"

namespace backend {

namespace {

constexpr auto kMaintainInterval = std::chrono::seconds(60);

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
    return static_cast<bool>(in) || in.eof();
}

// The URL without its password, for the log.
std::string Redacted(const std::string& url) {
    const auto scheme = url.find("://");
    const auto at = url.find('@');
    const auto colon = url.find(':', scheme + 3);
    if (scheme == std::string::npos || at == std::string::npos || colon > at) {
        return url;
    }
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

}  // namespace

std::string Context::ClientAddress(const Request& req) const {
    if (config.trustForwardedFor) {
        const std::string forwarded = req.HeaderList("X-Forwarded-For");
        const auto comma = forwarded.rfind(',');
        const std::string last =
            comma == std::string::npos ? forwarded : forwarded.substr(comma + 1);
        const auto begin = last.find_first_not_of(" \t");
        if (begin != std::string::npos) {
            return last.substr(begin, last.find_last_not_of(" \t") - begin + 1);
        }
    }
    return req.remoteAddr;
}

bool Context::StandInFor(const Request& req) const {
    return standIns && (!standInsAuto || IsLoopback(ClientAddress(req)));
}

std::string Context::FormToken(const std::string& subject) const {
    return secrets::HmacHex(secret, "form:" + subject);
}

bool Context::FormPostTrusted(const Request& req, const std::string& subject) const {
    if (!secrets::Equal(req.Param("csrf"), FormToken(subject))) {
        return false;
    }
    // Browsers name the page a form was sent from; ours is at the public address or at the
    // address the browser asked for.
    const std::string origin = req.Header("Origin");
    if (!origin.empty() && origin != publicUrl.substr(0, publicUrl.find('/', 8)) &&
        origin != "http://" + req.Header("Host") && origin != "https://" + req.Header("Host")) {
        return false;
    }
    return req.Header("Sec-Fetch-Site") != "cross-site";
}

bool CheckStandIns(const Config& config, std::string& error) {
    if (config.standIns.value_or(false) && !IsLoopback(config.host) && !config.standInsRemote) {
        error =
            "stand_ins.enabled serves the local payment and QR sign-in pages, which let "
            "anyone who reaches " +
            config.host +
            " pay any order and sign in as any account; listen on a loopback address, or "
            "set stand_ins.allow_remote to true to serve them there anyway";
        return false;
    }
    return true;
}

bool BuildContext(const Config& config, const std::string& publicUrl, Context& ctx,
                  std::string& error) {
    ctx.config = config;
    ctx.publicUrl = publicUrl;
    std::string goodsText(EmbeddedFile("goods.json"));
    std::string goodsName = "the built-in goods";
    if (!config.goodsFile.empty()) {
        goodsName = ResolvePath(config, config.goodsFile);
        if (!ReadFile(goodsName, goodsText)) {
            error = "cannot read the goods file " + goodsName;
            return false;
        }
    }
    if (!ctx.goods.Load(goodsText, error)) {
        error = goodsName + ": " + error;
        return false;
    }

    const bool loopback = IsLoopback(config.host);
    if (!CheckStandIns(config, error)) {
        return false;
    }
    ctx.standIns = config.standIns.value_or(loopback);
    ctx.standInsAuto = !config.standIns.has_value();
    if (!ctx.standIns) {
        spdlog::warn(
            "the local payment and QR sign-in pages are off ({} is not a loopback "
            "address, or stand_ins.enabled is false)",
            config.host);
    }

    std::string dbPath;
    if (IsDatabaseUrl(config.database)) {
        dbPath = Redacted(config.database);
        Config zoned = config;  // main resolves the zone; a caller without it gets the machine's
        if (zoned.timeZone.empty() && !ResolveTimeZone(zoned, error)) {
            return false;
        }
        ctx.store = PgStore::Open({config.database, config.databasePool, zoned.timeZone}, error);
    } else {
        dbPath = ResolvePath(config, config.database);
        ctx.store = SqliteStore::Open(dbPath, config.threads, error);
    }
    if (!ctx.store) {
        error = "cannot open the database: " + error;
        return false;
    }
    const std::string fresh = secrets::RandomHex(32);
    if (fresh.empty() || !ctx.store->KeepSecret("hmac", fresh, ctx.secret)) {
        error = "cannot set up the database's secret";
        return false;
    }

    ctx.sms = std::make_unique<LogSmsSender>();
    for (auto [name, title] : {std::pair{"qq", "QQ"}, std::pair{"wechat", "微信"}}) {
        ctx.qr[name] = std::make_unique<LocalQrLoginProvider>(name, title, ctx.publicUrl);
    }
    ctx.payment = std::make_unique<LocalPaymentProvider>(ctx.publicUrl);
    spdlog::info("database {}, {} goods, pages at {}", dbPath, ctx.goods.Size(), ctx.publicUrl);
    spdlog::info("calendar days in time zone {}", config.timeZone);
    return true;
}

void AddRoutes(HttpServer& http, Context& ctx) {
    AddAccountRoutes(http, ctx);
    AddUsageRoutes(http, ctx);
    AddShopRoutes(http, ctx);
    AddInfoRoutes(http, ctx);
}

App::~App() {
    {
        std::lock_guard lock(maintainMutex_);
        maintainStop_ = true;
        maintainWake_.notify_all();
    }
    if (maintainThread_.joinable()) {
        maintainThread_.join();
    }
}

bool App::Start(const Config& config, std::string& error) {
    // Before listening: a refused configuration must not be reachable even for a moment.
    if (!CheckStandIns(config, error)) {
        return false;
    }
    HttpLimits limits;
    limits.maxBodyBytes = config.maxBodyBytes;
    limits.requestTimeout = std::chrono::seconds(config.requestTimeoutSeconds);
    limits.maxConnections = config.maxConnections;
    http_ = std::make_unique<HttpServer>(config.threads, limits);
    port_ = http_->Bind(config.host, config.port, error);
    if (port_ < 0) {
        return false;
    }
    std::string publicUrl = config.publicUrl;
    if (publicUrl.empty()) {
        const bool anyAddress = config.host == "0.0.0.0" || config.host.empty();
        publicUrl = "http://" + (anyAddress ? std::string("127.0.0.1") : config.host) + ":" +
                    std::to_string(port_);
    }
    if (!BuildContext(config, publicUrl, ctx_, error)) {
        return false;
    }
    AddRoutes(*http_, ctx_);
    maintainThread_ = std::thread(&App::Maintain, this);
    return true;
}

bool App::Serve() {
    return http_ && http_->Serve();
}

void App::Stop() {
    if (http_) {
        http_->Stop();
    }
}

void App::Maintain() {
    std::unique_lock lock(maintainMutex_);
    while (!maintainStop_) {
        lock.unlock();
        const Clock clock = Now();
        const std::int64_t keepSince =
            clock.now - std::int64_t{ctx_.config.reportRetentionDays} * 86400;
        ctx_.store->Prune(clock, keepSince, ctx_.config.reportMaxRows);
        lock.lock();
        maintainWake_.wait_for(lock, kMaintainInterval, [this] { return maintainStop_; });
    }
}

}  // namespace backend
