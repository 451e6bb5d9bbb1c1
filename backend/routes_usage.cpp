// What the program reports after each translation: the charge of a successful one
// ("/trans/save-nums") and the report of every one ("/trans/report").

#include "backend/app.h"
#include "backend/text.h"

namespace backend {

namespace {

constexpr std::int64_t kMaxMillis = 2147483647;
constexpr int kMaxCount = 1000000000;

// Caps of the free-text members: what the program sends fits well inside them.
constexpr std::size_t kMaxLinesText = 64 * 1024;  // "transText", the recognised lines
constexpr std::size_t kMaxNote = 4096;            // machine descriptions, errors

// The members of a usage body. Both requests carry the same ones; the report adds "status" and
// "platform".
void ReadUsage(JsonReader& r, bool report, std::string& logId, int& status) {
    std::string text;
    std::int64_t millis = 0;
    int count = 0;
    r.String("logId", logId, 128);
    r.String("image", text, kMaxNote);
    r.String("fromLang", text, 16);
    r.String("toLang", text, 16);
    r.String("ocrVendor", text, 64);
    r.String("transVendor", text, 64);
    r.Int64("ocrTime", millis, 0, kMaxMillis);
    r.Int64("transTime", millis, 0, kMaxMillis);
    r.Int64("totalTime", millis, 0, kMaxMillis);
    r.Int("transType", count, 0, kMaxCount);
    r.String("transText", text, kMaxLinesText);
    r.String("brandModel", text, kMaxNote);
    r.String("osVersion", text, kMaxNote);
    r.String("errInfo", text, kMaxNote);
    r.Int("gameId", count, 0, kMaxCount);
    r.Int("totalLines", count, 0, kMaxCount);
    r.Int("cacheLines", count, 0, kMaxCount);
    r.String("packageId", text, 128);
    if (report) {
        r.Int("status", status, 0, 1);
        r.String("platform", text, 32);
    }
}

std::string Device(const Request& req) {
    const std::string device = req.Param("u");
    return IsPlainId(device, 64) ? device : std::string();
}

Reply SaveNums(Context& ctx, const Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    std::string logId;
    int status = 1;
    if (!ReadBody(
            req, [&](JsonReader& r) { ReadUsage(r, false, logId, status); }, fail)) {
        return fail;
    }
    Counts counts;
    switch (ctx.store->Charge(id, logId, ctx.config.freeDaily, clock, counts)) {
        case IStore::ChargeResult::Charged:
        case IStore::ChargeResult::Unlimited:
        case IStore::ChargeResult::Repeated:
            break;
        case IStore::ChargeResult::Exhausted:
            return Fail(ApiCode::QuotaUsedUp);
        case IStore::ChargeResult::Error:
            return Fail(ApiCode::Internal);
    }
    return Success({{"unlimited", counts.unlimited},
                    {"freeNums", counts.freeLeft},
                    {"vipNums", counts.packNums},
                    {"nums", counts.Total()}});
}

Reply Report(Context& ctx, const Request& req) {
    const Clock clock = Now();
    // Only signed-in users report: an anonymous sender could fill the disk.
    AccountId account = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, account, fail)) {
        return fail;
    }
    std::string logId;
    int status = 0;
    if (!ReadBody(
            req, [&](JsonReader& r) { ReadUsage(r, true, logId, status); }, fail)) {
        return fail;
    }
    switch (ctx.store->SaveReport(account, Device(req), status, req.body, ctx.config.reportsPerDay,
                                  clock)) {
        case IStore::ReportResult::Saved:
            break;
        case IStore::ReportResult::DayCap:
            return Fail(ApiCode::TooMany);
        case IStore::ReportResult::Error:
            return Fail(ApiCode::Internal);
    }
    return Success(nlohmann::json::object());
}

}  // namespace

void AddUsageRoutes(HttpServer& http, Context& ctx) {
    http.Route(protocol::kTransSaveNums, [&ctx](const auto& req) { return SaveNums(ctx, req); });
    http.Route(protocol::kTransReport, [&ctx](const auto& req) { return Report(ctx, req); });
}

}  // namespace backend
