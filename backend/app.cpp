#include "backend/app.h"

#include <spdlog/spdlog.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "backend/embedded_files.h"
#include "backend/pg_store.h"
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

std::string Context::ClientAddress(const httplib::Request& req) const {
    if (config.trustForwardedFor) {
        const std::string forwarded = req.get_header_value("X-Forwarded-For");
        const std::string first = forwarded.substr(0, forwarded.find(','));
        const auto begin = first.find_first_not_of(' ');
        if (begin != std::string::npos) {
            return first.substr(begin, first.find_last_not_of(' ') - begin + 1);
        }
    }
    return req.remote_addr;
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
    ctx_.config = config;
    std::string goodsText(EmbeddedFile("goods.json"));
    std::string goodsName = "the built-in goods";
    if (!config.goodsFile.empty()) {
        goodsName = ResolvePath(config, config.goodsFile);
        if (!ReadFile(goodsName, goodsText)) {
            error = "cannot read the goods file " + goodsName;
            return false;
        }
    }
    if (!ctx_.goods.Load(goodsText, error)) {
        error = goodsName + ": " + error;
        return false;
    }

    std::string dbPath;
    if (IsDatabaseUrl(config.database)) {
        dbPath = Redacted(config.database);
        ctx_.store = PgStore::Open({config.database, config.databasePool, config.timeZone}, error);
    } else {
        dbPath = ResolvePath(config, config.database);
        ctx_.store = SqliteStore::Open(dbPath, config.threads, error);
    }
    if (!ctx_.store) {
        error = "cannot open the database: " + error;
        return false;
    }

    http_ = std::make_unique<HttpServer>(config.threads, config.maxBodyBytes);
    port_ = http_->Bind(config.host, config.port, error);
    if (port_ < 0) {
        return false;
    }
    ctx_.publicUrl = config.publicUrl;
    if (ctx_.publicUrl.empty()) {
        const bool anyAddress = config.host == "0.0.0.0" || config.host.empty();
        ctx_.publicUrl = "http://" + (anyAddress ? std::string("127.0.0.1") : config.host) + ":" +
                         std::to_string(port_);
    }

    ctx_.sms = std::make_unique<LogSmsSender>();
    for (auto [name, title] : {std::pair{"qq", "QQ"}, std::pair{"wechat", "微信"}}) {
        ctx_.qr[name] = std::make_unique<LocalQrLoginProvider>(name, title, ctx_.publicUrl);
    }
    ctx_.payment = std::make_unique<LocalPaymentProvider>(ctx_.publicUrl);

    AddAccountRoutes(*http_, ctx_);
    AddUsageRoutes(*http_, ctx_);
    AddShopRoutes(*http_, ctx_);
    AddInfoRoutes(*http_, ctx_);

    spdlog::info("database {}, {} goods, pages at {}", dbPath, ctx_.goods.Size(), ctx_.publicUrl);
    spdlog::info("calendar days in time zone {}", config.timeZone);
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
