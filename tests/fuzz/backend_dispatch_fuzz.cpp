// The back-end's request handling without the transport: requests (method, path, query, headers,
// body, with a valid token where the input says "@TOKEN@") through every route on a SQLite
// store in a temporary folder; its JSON configuration; its goods file.
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "backend/app.h"
#include "backend/secrets.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Backend {
    Backend() {
        auto logger = std::make_shared<spdlog::logger>(
            "backend", std::make_shared<spdlog::sinks::null_sink_mt>());
        logger->set_level(spdlog::level::debug);  // every line is formatted
        spdlog::set_default_logger(logger);
        // Commits are synchronous: a memory file system keeps them cheap.
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        std::string name = (base / "velmora-fuzz-XXXXXX").string();
        dir = ::mkdtemp(name.data()) != nullptr ? name : std::string();
        backend::Config config;
        config.database = dir + "/backend.db";
        config.threads = 2;
        std::string error;
        VL_FUZZ_CHECK(!dir.empty() &&
                      backend::BuildContext(config, "http://127.0.0.1:8731", ctx, error));
        backend::AddRoutes(http, ctx);
        // A signed-in account for the inputs that name its token.
        const std::string phone = "13900000000";
        VL_FUZZ_CHECK(ctx.store->IssueSmsCode(
                          phone, "127.0.0.1",
                          backend::secrets::HmacHex(ctx.secret, phone + ":123456"), config.sms,
                          backend::Now()) == backend::IStore::IssueResult::Ok);
        backend::Request login;
        login.method = "POST";
        login.path = "/login/sms";
        login.body = R"({"phone":"13900000000","code":"123456"})";
        const auto answer = nlohmann::json::parse(http.Dispatch(login).body, nullptr, false);
        VL_FUZZ_CHECK(answer.is_object() && answer["data"].contains("accessToken"));
        token = answer["data"]["accessToken"];
    }
    ~Backend() {
        ctx.store.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string dir;
    backend::Context ctx;
    backend::HttpServer http{1, backend::HttpLimits{}};
    std::string token;
};

// "METHOD /path?query", header lines, an empty line, the body.
backend::Request ReadRequest(const std::string& text, const std::string& token) {
    backend::Request req;
    req.remoteAddr = "127.0.0.1";
    std::size_t pos = 0;
    auto line = [&] {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string l = text.substr(pos, end - pos);
        pos = end + 1;
        for (std::size_t at; (at = l.find("@TOKEN@")) != std::string::npos;) {
            l.replace(at, 7, token);
        }
        return l;
    };
    const std::string first = line();
    const std::size_t space = first.find(' ');
    req.method = first.substr(0, space);
    const std::string target = space == std::string::npos ? "/" : first.substr(space + 1);
    const std::size_t mark = target.find('?');
    req.path = backend::UrlDecode(target.substr(0, mark), false);
    req.query = mark == std::string::npos ? "" : target.substr(mark + 1);
    while (pos < text.size()) {
        const std::string h = line();
        if (h.empty()) {
            break;
        }
        const std::size_t colon = h.find(':');
        req.headers.emplace_back(h.substr(0, colon),
                                 colon == std::string::npos ? "" : h.substr(colon + 1));
    }
    req.body = pos < text.size() ? text.substr(pos) : std::string();
    req.ParseParams();
    return req;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Backend backend;
    std::string input;
    switch (vl::fuzz::Split(data, size, 3, input)) {
        case 0: {
            const backend::Reply reply = backend.http.Dispatch(ReadRequest(input, backend.token));
            VL_FUZZ_CHECK(reply.status >= 200 && reply.status < 600);
            if (reply.contentType == backend::kJsonType) {
                const auto json = nlohmann::json::parse(reply.body, nullptr, false);
                VL_FUZZ_CHECK(json.is_object() && json.contains("code"));
            }
        } break;
        case 1: {
            backend::Config config;
            std::string error;
            if (!backend::ApplyConfig(input, config, error)) {
                VL_FUZZ_CHECK(!error.empty());
            }
        } break;
        case 2: {
            backend::Catalogue goods;
            std::string error;
            if (goods.Load(input, error)) {
                VL_FUZZ_CHECK(nlohmann::json::parse(goods.ListData(), nullptr, false).is_array() ||
                              nlohmann::json::parse(goods.ListData(), nullptr, false).is_object());
            } else {
                VL_FUZZ_CHECK(!error.empty());
            }
        } break;
    }
    return 0;
}
