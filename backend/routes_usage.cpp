// What the program reports after each translation: the charge of a successful one
// ("/trans/save-nums") and the report of every one ("/trans/report").

#include "backend/app.h"
#include "backend/text.h"

namespace backend {

namespace {

constexpr std::int64_t kMaxMillis = 2147483647;
constexpr int kMaxCount = 1000000000;

// The members of a usage body. Both requests carry the same ones; the report adds "status" and
// "platform".
void ReadUsage(JsonReader& r, std::size_t maxText, bool report, std::string& logId, int& status) {
    std::string text;
    std::int64_t millis = 0;
    int count = 0;
    r.String("logId", logId, 128);
    r.String("image", text, maxText);
    r.String("fromLang", text, 16);
    r.String("toLang", text, 16);
    r.String("ocrVendor", text, 64);
    r.String("transVendor", text, 64);
    r.Int64("ocrTime", millis, 0, kMaxMillis);
    r.Int64("transTime", millis, 0, kMaxMillis);
    r.Int64("totalTime", millis, 0, kMaxMillis);
    r.Int("transType", count, 0, kMaxCount);
    r.String("transText", text, maxText);
    // Descriptions of the machine and errors vary in length; the body's limit bounds them.
    r.String("brandModel", text, maxText);
    r.String("osVersion", text, maxText);
    r.String("errInfo", text, maxText);
    r.Int("gameId", count, 0, kMaxCount);
    r.Int("totalLines", count, 0, kMaxCount);
    r.Int("cacheLines", count, 0, kMaxCount);
    r.String("packageId", text, 128);
    if (report) {
        r.Int("status", status, 0, 1);
        r.String("platform", text, 32);
    }
}

std::string Device(const httplib::Request& req) {
    const std::string device = req.get_param_value("u");
    return IsPlainId(device, 64) ? device : std::string();
}

Reply SaveNums(Context& ctx, const httplib::Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    std::string logId;
    int status = 1;
    if (!ReadBody(
            req,
            [&](JsonReader& r) { ReadUsage(r, ctx.config.maxBodyBytes, false, logId, status); },
            fail)) {
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

Reply Report(Context& ctx, const httplib::Request& req) {
    const Clock clock = Now();
    // Signed-out users report too; a token that is sent must be valid.
    std::optional<AccountId> account;
    Reply fail;
    if (!RequestToken(req).empty()) {
        AccountId id = 0;
        if (!Authenticate(*ctx.store, req, clock, id, fail)) {
            return fail;
        }
        account = id;
    }
    std::string logId;
    int status = 0;
    if (!ReadBody(
            req, [&](JsonReader& r) { ReadUsage(r, ctx.config.maxBodyBytes, true, logId, status); },
            fail)) {
        return fail;
    }
    if (!ctx.store->SaveReport(account, Device(req), status, req.body, clock)) {
        return Fail(ApiCode::Internal);
    }
    return Success(nlohmann::json::object());
}

}  // namespace

void AddUsageRoutes(HttpServer& http, Context& ctx) {
    http.Route("POST", "/trans/save-nums", [&ctx](const auto& req) { return SaveNums(ctx, req); });
    http.Route("POST", "/trans/report", [&ctx](const auto& req) { return Report(ctx, req); });
}

}  // namespace backend
