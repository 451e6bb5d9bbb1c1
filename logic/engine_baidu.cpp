// Baidu's general text translation: the lines joined by line feeds in one signed form request,
// one trans_result entry back per line.
#include <array>
#include <nlohmann/json.hpp>

#include "logic/translate_engine.h"
#include "utils/vl_crypto.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

namespace vl::engine {

namespace {

constexpr const char* kVendor = "Baidu translation";

constexpr std::array<const char*, kLanguageCount> kCodes = {"zh", "cht", "en",  "jp", "kor",
                                                            "pt", "spa", "fra", "ru"};

// error_code comes as a string or a number.
std::string CodeText(const nlohmann::json& code) {
    if (code.is_string()) {
        return code.get<std::string>();
    }
    return code.is_number() ? code.dump() : std::string();
}

class BaiduEngine : public ITranslateEngine {
public:
    BaiduEngine(const ServiceConfig::BaiduTranslate& config, long timeoutCapMs)
        : config_(config), timeoutCapMs_(timeoutCapMs) {}
    const char* Name() const override { return kBaidu; }

    bool Translate(LanguageId src, LanguageId dst, const std::vector<std::string>& texts,
                   std::vector<std::string>& out, std::string& error) override {
        out.clear();
        if (src >= kLanguageCount || dst >= kLanguageCount) {
            error = "language " + std::to_string(src >= kLanguageCount ? src : dst) +
                    " is not supported";
            return false;
        }
        if (config_.appId.empty() || config_.secretKey.empty()) {
            error = "the Baidu translation app id or secret key is not set";
            return false;
        }
        std::string q;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            q += (i > 0 ? "\n" : "") + texts[i];
        }
        std::string salt;
        if (!UuidGenWithoutDash(salt)) {
            error = "UuidGenWithoutDash failed";
            return false;
        }
        const std::string sign = Md5Hex(config_.appId + q + salt + config_.secretKey);
        net::Request request;
        request.verb = net::Verb::Post;
        request.url = config_.url;
        request.headers["Content-Type"] = "application/x-www-form-urlencoded";
        request.timeoutMs = CappedTimeout(10000, timeoutCapMs_);
        request.body = "q=" + UrlEncode(q) + "&from=" + kCodes[src] + "&to=" + kCodes[dst] +
                       "&appid=" + UrlEncode(config_.appId) + "&salt=" + salt + "&sign=" + sign;

        const net::Result result = net::Send(request);
        nlohmann::json root;
        const bool isJson = result.ok && ParseJson(result.body, root) && root.is_object();
        std::string code;
        std::string message;
        if (isJson && root.contains("error_code")) {
            code = CodeText(root["error_code"]);
            if (root.contains("error_msg") && root["error_msg"].is_string()) {
                message = root["error_msg"].get<std::string>();
            }
        }
        if (!AnswerArrived(kVendor, result, message, error)) {
            return false;
        }
        // Some answers carry error_code "52000" (success) next to the results.
        if (!code.empty() && code != "52000") {
            error = std::string(kVendor) + " failed with " + json::Excerpt(code) + ", " +
                    json::Excerpt(message);
            VL_ERROR("{}", error);
            return false;
        }
        if (!isJson || !ReadEntries(root, "trans_result", "dst", out)) {
            out.clear();
            error = std::string(kVendor) + " answer has no trans_result[i].dst, " +
                    json::Excerpt(result.body);
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
    const ServiceConfig::BaiduTranslate config_;
    const long timeoutCapMs_;
};

}  // namespace

std::unique_ptr<ITranslateEngine> MakeBaiduEngine(const ServiceConfig::BaiduTranslate& config,
                                                  long timeoutCapMs) {
    return std::make_unique<BaiduEngine>(config, timeoutCapMs);
}

}  // namespace vl::engine
