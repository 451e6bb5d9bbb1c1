// DeepL's text translation: the lines as the "text" array of one JSON request.
#include <array>
#include <nlohmann/json.hpp>

#include "logic/translate_engine.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"

namespace vl::engine {

namespace {

constexpr const char* kVendor = "DeepL";
constexpr const char* kBuiltInUrl = "https://api.deepl.com";
constexpr const char* kFreeUrl = "https://api-free.deepl.com";

constexpr std::array<const char*, kLanguageCount> kSourceCodes = {"ZH", "ZH", "EN", "JA", "KO",
                                                                  "PT", "ES", "FR", "RU"};
constexpr std::array<const char*, kLanguageCount> kTargetCodes = {
    "ZH-HANS", "ZH-HANT", "EN-US", "JA", "KO", "PT-BR", "ES", "FR", "RU"};

class DeeplEngine : public ITranslateEngine {
public:
    DeeplEngine(const ServiceConfig::DeeplTranslate& config, long timeoutCapMs)
        : config_(config), timeoutCapMs_(timeoutCapMs) {}
    const char* Name() const override { return kDeepl; }

    bool Translate(LanguageId src, LanguageId dst, const std::vector<std::string>& texts,
                   std::vector<std::string>& out, std::string& error) override {
        out.clear();
        if (src >= kLanguageCount || dst >= kLanguageCount) {
            error = "language " + std::to_string(src >= kLanguageCount ? src : dst) +
                    " is not supported";
            return false;
        }
        if (config_.authKey.empty()) {
            error = "the DeepL auth key is not set";
            return false;
        }
        // Keys of the free plan (ending in ":fx") are served by their own host.
        std::string url = config_.url;
        const std::string& key = config_.authKey;
        if (url == kBuiltInUrl && key.size() > 3 && key.compare(key.size() - 3, 3, ":fx") == 0) {
            url = kFreeUrl;
        }
        net::Request request;
        request.verb = net::Verb::Post;
        request.url = JoinUrl(url, "/v2/translate");
        request.headers["Content-Type"] = "application/json";
        request.headers["Authorization"] = "DeepL-Auth-Key " + key;
        request.timeoutMs = CappedTimeout(10000, timeoutCapMs_);
        try {
            const nlohmann::json body = {{"text", texts},
                                         {"source_lang", kSourceCodes[src]},
                                         {"target_lang", kTargetCodes[dst]}};
            request.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } catch (const std::exception& e) {
            error = std::string("DeepL request cannot be built, ") + e.what();
            return false;
        }

        const net::Result result = net::Send(request);
        nlohmann::json root;
        const bool isJson = result.ok && ParseJson(result.body, root) && root.is_object();
        std::string message;
        if (isJson && root.contains("message") && root["message"].is_string()) {
            message = root["message"].get<std::string>();
        }
        if (!AnswerArrived(kVendor, result, message, error)) {
            return false;
        }
        if (!isJson || !ReadEntries(root, "translations", "text", out)) {
            out.clear();
            error = "DeepL answer has no translations[i].text, " + json::Excerpt(result.body);
            VL_ERROR("{}", error);
            return false;
        }
        if (!CountMatches(kVendor, out.size(), texts.size(), error)) {
            out.clear();
            return false;
        }
        return true;
    }

private:
    const ServiceConfig::DeeplTranslate config_;
    const long timeoutCapMs_;
};

}  // namespace

std::unique_ptr<ITranslateEngine> MakeDeeplEngine(const ServiceConfig::DeeplTranslate& config,
                                                  long timeoutCapMs) {
    return std::make_unique<DeeplEngine>(config, timeoutCapMs);
}

}  // namespace vl::engine
