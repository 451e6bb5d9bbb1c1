#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "backend/store.h"  // SmsPolicy

namespace backend {

// What "/app/update" answers.
struct UpdateInfo {
    std::string versionName;
    std::int64_t versionCode = 0;
    std::string desc;
    std::string downloadUrl;  // empty: the help page
    bool must = false;
};

// The back-end's settings: built-in defaults, overridden by an optional JSON file and then by
// the command line. Relative paths are relative to the configuration file's folder, or to the
// executable's folder when there is no file.
struct Config {
    std::string host = "127.0.0.1";
    int port = 8731;        // 0: any free port
    std::string publicUrl;  // base of the page links; empty: http://host:port as bound
    std::string database = "velmora-backend.db";  // a file (SQLite) or a postgresql:// URL
    int databasePool = 8;                         // PostgreSQL connections per instance
    std::string timeZone;  // of the calendar day (quota, caps); empty: the machine's own
    int threads = 32;
    std::size_t maxBodyBytes = 128 * 1024;
    std::string logFile;  // empty: standard error only
    std::string logLevel = "info";

    int freeDaily = 10;  // free translations per account and day
    int giftNums = 50;   // translations of the one-time gift
    std::string giftText = "新用户福利：已赠送{nums}次免费翻译";
    int userDelay = 0;      // "config"."delay" in "/user/info"
    std::string goodsFile;  // empty: the built-in catalogue
    UpdateInfo update;
    // "/config/get" members; page addresses are added unless given here.
    nlohmann::json remoteConfig = nlohmann::json::object();

    std::string smsSender = "log";
    SmsPolicy sms;
    int qrStateSeconds = 300;
    int maxQrStates = 10000;         // states waiting at once
    int maxQrStatesPerAddress = 20;  // of them asked for from one client address
    int tokenDays = 180;
    int reportRetentionDays = 30;
    int reportMaxRows = 200000;
    int reportsPerDay = 2000;        // reports one account stores per day
    bool trustForwardedFor = false;  // behind a proxy: the client address is X-Forwarded-For
    int requestTimeoutSeconds = 10;  // to read one request whole
    int maxConnections = 1024;       // open at once

    // The local stand-ins for the payment and QR providers (the pay and sign-in confirmation
    // pages) let whoever reaches them pay any order and sign in as anyone. Unset: served only
    // when listening on a loopback address. Enabling them on another address needs
    // `standInsRemote` too, or the back-end refuses to start.
    std::optional<bool> standIns;
    bool standInsRemote = false;

    std::string baseDir;  // for relative paths
};

// Applies a configuration document over `config`. False with a message naming the first bad
// member (unknown members included).
bool ApplyConfig(const std::string& jsonText, Config& config, std::string& error);

// True when `database` names a PostgreSQL server rather than a file.
bool IsDatabaseUrl(const std::string& database);

// The zone of config.timeZone, or the machine's own when it is empty; false with a message when
// the zone is not known here.
bool ResolveTimeZone(Config& config, std::string& error);

// 127.0.0.0/8, ::1, "localhost".
bool IsLoopback(const std::string& address);

// `path` made absolute against config.baseDir.
std::string ResolvePath(const Config& config, const std::string& path);

// The remote configuration "/config/get" serves: "qq_kefu", "trans_config" (a JSON text) and
// the page addresses, with the configured members over them.
nlohmann::json RemoteConfig(const Config& config, const std::string& publicUrl);

}  // namespace backend
