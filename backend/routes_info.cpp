// The remote configuration, the version check, the information pages and the health check.
#include "backend/app.h"
#include "backend/embedded_files.h"
#include "backend/pages.h"

namespace backend {

namespace {

// "&key=a,b,c" limits the answer to those members; without it every member is sent.
Reply ConfigGet(const Context& ctx, const Request& req) {
    const nlohmann::json all = RemoteConfig(ctx.config, ctx.publicUrl);
    if (!req.HasParam("key")) {
        return Success({{"config", all}});
    }
    nlohmann::json chosen = nlohmann::json::object();
    const std::string keys = req.Param("key");
    std::size_t begin = 0;
    while (begin <= keys.size()) {
        const std::size_t end = std::min(keys.find(',', begin), keys.size());
        const std::string key = keys.substr(begin, end - begin);
        if (all.contains(key)) {
            chosen[key] = all[key];
        }
        begin = end + 1;
    }
    return Success({{"config", chosen}});
}

Reply AppUpdate(const Context& ctx) {
    const UpdateInfo& u = ctx.config.update;
    return Success(
        {{"versionName", u.versionName},
         {"versionCode", u.versionCode},
         {"desc", u.desc},
         {"downloadUrl", u.downloadUrl.empty() ? ctx.publicUrl + "/pages/help" : u.downloadUrl},
         {"must", u.must}});
}

}  // namespace

void AddInfoRoutes(HttpServer& http, Context& ctx) {
    http.Route(protocol::kConfigGet, [&ctx](const auto& req) { return ConfigGet(ctx, req); });
    http.Route(protocol::kAppUpdate, [&ctx](const auto&) { return AppUpdate(ctx); });
    http.Route("GET", "/healthz", [](const auto&) { return Success({{"status", "ok"}}); });
    for (const char* name : {"help", "agreement", "privacy", "contact", "vip-agreement"}) {
        std::string page;
        pages::Static(name, page);
        http.Route("GET", std::string("/pages/") + name,
                   [page](const auto&) { return Html(200, page); });
    }
    http.Route("GET", "/pages/style.css", [](const auto&) {
        Reply r = Html(200, std::string(EmbeddedFile("pages/style.css")));
        r.contentType = "text/css; charset=utf-8";
        return r;
    });
}

}  // namespace backend
