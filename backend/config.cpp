#include "backend/config.h"

#include <cstdlib>
#include <filesystem>

#include "backend/json_reader.h"

namespace backend {

namespace {

constexpr int kMaxInt = 2147483647;

bool ReadListen(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* listen = root.Object("listen");
    if (listen == nullptr) {
        return root.Ok();
    }
    JsonReader r(*listen, "listen", error);
    r.String("host", c.host, 255);
    r.Int("port", c.port, 0, 65535);
    return r.Finish();
}

bool ReadLog(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* log = root.Object("log");
    if (log == nullptr) {
        return root.Ok();
    }
    JsonReader r(*log, "log", error);
    r.String("file", c.logFile);
    r.String("level", c.logLevel, 16);
    if (r.Ok() && c.logLevel != "debug" && c.logLevel != "info" && c.logLevel != "warn") {
        error = "log.level must be \"debug\", \"info\" or \"warn\"";
        return false;
    }
    return r.Finish();
}

bool ReadQuota(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* quota = root.Object("quota");
    if (quota == nullptr) {
        return root.Ok();
    }
    JsonReader r(*quota, "quota", error);
    r.Int("free_daily", c.freeDaily, 0, 1000000);
    r.Int("gift", c.giftNums, 0, 1000000);
    r.String("gift_text", c.giftText, 1024);
    r.Int("delay", c.userDelay, 0, kMaxInt);
    return r.Finish();
}

bool ReadUpdate(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* update = root.Object("update");
    if (update == nullptr) {
        return root.Ok();
    }
    JsonReader r(*update, "update", error);
    r.String("version_name", c.update.versionName, 64);
    r.Int64("version_code", c.update.versionCode, 0, 999999999999);
    r.String("desc", c.update.desc, 16384);
    r.String("download_url", c.update.downloadUrl, 2048);
    r.Bool("must", c.update.must);
    return r.Finish();
}

bool ReadSms(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* sms = root.Object("sms");
    if (sms == nullptr) {
        return root.Ok();
    }
    JsonReader r(*sms, "sms", error);
    r.String("sender", c.smsSender, 32);
    r.Int("code_ttl_seconds", c.sms.codeTtlSeconds, 1, 86400);
    r.Int("max_tries", c.sms.maxTries, 1, 100);
    r.Int("resend_seconds", c.sms.resendSeconds, 0, 86400);
    r.Int("daily_per_phone", c.sms.dailyPerPhone, 1, 100000);
    r.Int("daily_per_address", c.sms.dailyPerAddress, 1, 1000000);
    r.Int("daily_checks_per_phone", c.sms.dailyChecksPerPhone, 1, 1000000);
    if (r.Ok() && c.smsSender != "log") {
        error = "sms.sender must be \"log\" (the only sender built in)";
        return false;
    }
    return r.Finish();
}

bool ReadStandIns(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* standIns = root.Object("stand_ins");
    if (standIns == nullptr) {
        return root.Ok();
    }
    JsonReader r(*standIns, "stand_ins", error);
    if (standIns->contains("enabled")) {
        bool enabled = false;
        r.Bool("enabled", enabled);
        c.standIns = enabled;
    }
    r.Bool("allow_remote", c.standInsRemote);
    return r.Finish();
}

bool ReadReports(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* reports = root.Object("reports");
    if (reports == nullptr) {
        return root.Ok();
    }
    JsonReader r(*reports, "reports", error);
    r.Int("retention_days", c.reportRetentionDays, 1, 3650);
    r.Int("max_rows", c.reportMaxRows, 1, 100000000);
    r.Int("per_account_daily", c.reportsPerDay, 1, 1000000);
    return r.Finish();
}

// "trans_config" may be given as an object or as the JSON text the program parses; either way
// it must name the vertical engine, which the program requires.
bool CheckTransConfig(const nlohmann::json& value, std::string& error) {
    nlohmann::json parsed = value;
    if (value.is_string()) {
        parsed = nlohmann::json::parse(value.get<std::string>(), nullptr, false);
    }
    if (!parsed.is_object() || !parsed.contains("vertical_ocr") ||
        !parsed["vertical_ocr"].is_string()) {
        error =
            "remote_config.trans_config must be an object (or its JSON text) with the string "
            "member vertical_ocr";
        return false;
    }
    return true;
}

bool ReadRemoteConfig(JsonReader& root, Config& c, std::string& error) {
    const nlohmann::json* remote = root.Object("remote_config");
    if (remote == nullptr) {
        return root.Ok();
    }
    for (const auto& [key, value] : remote->items()) {
        if (key == "trans_config") {
            if (!CheckTransConfig(value, error)) {
                return false;
            }
        } else if (key == "qq_kefu" && !value.is_string()) {
            error = "remote_config.qq_kefu must be a string";
            return false;
        }
        c.remoteConfig[key] = value;
    }
    return true;
}

}  // namespace

bool ApplyConfig(const std::string& jsonText, Config& c, std::string& error) {
    const nlohmann::json doc = nlohmann::json::parse(jsonText, nullptr, false);
    if (doc.is_discarded()) {
        error = "the configuration is not valid JSON";
        return false;
    }
    JsonReader r(doc, "", error);
    if (!ReadListen(r, c, error) || !ReadLog(r, c, error) || !ReadQuota(r, c, error) ||
        !ReadUpdate(r, c, error) || !ReadSms(r, c, error) || !ReadReports(r, c, error) ||
        !ReadStandIns(r, c, error) || !ReadRemoteConfig(r, c, error)) {
        return false;
    }
    r.String("public_url", c.publicUrl, 2048);
    r.String("database", c.database);
    r.Int("database_pool", c.databasePool, 1, 1000);
    r.String("time_zone", c.timeZone, 64);
    r.Int("threads", c.threads, 2, 1024);
    std::int64_t maxBody = static_cast<std::int64_t>(c.maxBodyBytes);
    r.Int64("max_body_bytes", maxBody, 1024, 64 * 1024 * 1024);
    c.maxBodyBytes = static_cast<std::size_t>(maxBody);
    r.String("goods_file", c.goodsFile);
    r.Int("qr_state_seconds", c.qrStateSeconds, 10, 86400);
    r.Int("max_qr_states", c.maxQrStates, 1, 10000000);
    r.Int("max_qr_states_per_address", c.maxQrStatesPerAddress, 1, 10000000);
    r.Int("token_days", c.tokenDays, 1, 3650);
    r.Bool("trust_forwarded_for", c.trustForwardedFor);
    r.Int("request_timeout_seconds", c.requestTimeoutSeconds, 1, 3600);
    r.Int("max_connections", c.maxConnections, 8, 1000000);
    if (!r.Finish()) {
        return false;
    }
    if (!c.publicUrl.empty() && c.publicUrl.rfind("http://", 0) != 0 &&
        c.publicUrl.rfind("https://", 0) != 0) {
        error = "public_url must start with http:// or https://";
        return false;
    }
    while (!c.publicUrl.empty() && c.publicUrl.back() == '/') {
        c.publicUrl.pop_back();
    }
    return true;
}

bool IsDatabaseUrl(const std::string& database) {
    return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

bool ResolveTimeZone(Config& c, std::string& error) {
    const std::filesystem::path zones = "/usr/share/zoneinfo";
    if (c.timeZone.empty()) {
        const char* tz = std::getenv("TZ");
        if (tz != nullptr && *tz != '\0') {
            c.timeZone = *tz == ':' ? tz + 1 : tz;
        } else {
            std::error_code ec;
            const std::filesystem::path link = std::filesystem::read_symlink("/etc/localtime", ec);
            const std::string name = ec ? std::string() : link.lexically_relative(zones).string();
            c.timeZone = name.empty() || name.rfind("..", 0) == 0 ? "UTC" : name;
        }
    }
    std::error_code ec;
    if (c.timeZone.find("..") != std::string::npos ||
        (c.timeZone != "UTC" && !std::filesystem::is_regular_file(zones / c.timeZone, ec))) {
        error = "time_zone \"" + c.timeZone + "\" is not a known time zone";
        return false;
    }
    return true;
}

bool IsLoopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0 ||
           address.rfind("::ffff:127.", 0) == 0;
}

std::string ResolvePath(const Config& config, const std::string& path) {
    const std::filesystem::path p(path);
    if (path.empty() || p.is_absolute()) {
        return path;
    }
    return (std::filesystem::path(config.baseDir) / p).lexically_normal().string();
}

nlohmann::json RemoteConfig(const Config& config, const std::string& publicUrl) {
    nlohmann::json out = {
        {"qq_kefu", "800800800"},
        {"trans_config", R"({"precise_ocr":"baidu","vertical_ocr":"youdao"})"},
        {"kefu_url", publicUrl + "/pages/contact"},
        {"help_url", publicUrl + "/pages/help"},
        {"privacy_url", publicUrl + "/pages/privacy"},
        {"agreement_url", publicUrl + "/pages/agreement"},
    };
    for (const auto& [key, value] : config.remoteConfig.items()) {
        out[key] = value;
    }
    // The program reads trans_config as a JSON text.
    if (out["trans_config"].is_object()) {
        out["trans_config"] = out["trans_config"].dump();
    }
    return out;
}

}  // namespace backend
