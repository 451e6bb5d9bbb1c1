#include "utils/vl_services.h"

#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "utils/vl_env.h"
#include "utils/vl_file.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace vl {

namespace {

struct Field {
    const char* key;
    std::string* value;
};

bool ApplySection(const nlohmann::json& root, const char* section,
                  std::initializer_list<Field> fields) {
    const auto it = root.find(section);
    if (it == root.end()) {
        return true;
    }
    if (!it->is_object()) {
        VL_WARN("service config member \"{}\" is not an object, defaults kept", section);
        return false;
    }
    bool ok = true;
    for (const Field& f : fields) {
        const auto m = it->find(f.key);
        if (m == it->end()) {
            continue;
        }
        if (!m->is_string()) {
            VL_WARN("service config member \"{}.{}\" is not a string, default kept", section,
                    f.key);
            ok = false;
            continue;
        }
        *f.value = m->get<std::string>();
    }
    return ok;
}

// The optional "memory" switch of the "translate" member.
bool ApplyTranslateSwitch(const nlohmann::json& root, bool& memory) {
    const auto it = root.find("translate");
    if (it == root.end() || !it->is_object()) {
        return true;  // a section of the wrong type is reported by ApplySection
    }
    const auto m = it->find("memory");
    if (m == it->end()) {
        return true;
    }
    if (!m->is_boolean()) {
        VL_WARN("service config member \"translate.memory\" is not a boolean, default kept");
        return false;
    }
    memory = m->get<bool>();
    return true;
}

std::mutex g_mutex;
std::optional<ServiceConfig> g_config;

}  // namespace

bool ApplyServiceConfig(const std::string& jsonText, ServiceConfig& c) {
    nlohmann::json root;
    try {
        root = json::Parse(jsonText);
    } catch (const nlohmann::json::parse_error& e) {
        VL_ERROR("parse service config failed, byte {}, id {}, {}", e.byte, e.id, e.what());
        return false;
    } catch (const std::exception& e) {
        VL_ERROR("parse service config failed, {}", e.what());
        return false;
    }
    if (!root.is_object()) {
        VL_ERROR("service config is not a JSON object, defaults kept");
        return false;
    }
    bool ok = ApplySection(root, "backend", {{"url", &c.backend.url}});
    ok &= ApplySection(root, "youdao_ocr",
                       {{"url", &c.youdaoOcr.url},
                        {"app_key", &c.youdaoOcr.appKey},
                        {"app_secret", &c.youdaoOcr.appSecret}});
    ok &= ApplySection(root, "youdao_translate",
                       {{"url", &c.youdaoTranslate.url},
                        {"app_key", &c.youdaoTranslate.appKey},
                        {"app_secret", &c.youdaoTranslate.appSecret}});
    ok &= ApplySection(root, "baidu_ocr",
                       {{"token_url", &c.baiduOcr.tokenUrl},
                        {"general_url", &c.baiduOcr.generalUrl},
                        {"app_id", &c.baiduOcr.appId},
                        {"api_key", &c.baiduOcr.apiKey},
                        {"secret_key", &c.baiduOcr.secretKey}});
    ok &= ApplySection(root, "local_ocr", {{"data_dir", &c.localOcr.dataDir}});
    ok &= ApplySection(root, "translate", {{"engine", &c.translate.engine}});
    ok &= ApplyTranslateSwitch(root, c.translate.memory);
    ok &= ApplySection(root, "openai_translate",
                       {{"url", &c.openaiTranslate.url},
                        {"api_key", &c.openaiTranslate.apiKey},
                        {"model", &c.openaiTranslate.model}});
    ok &= ApplySection(root, "deepl_translate",
                       {{"url", &c.deeplTranslate.url}, {"auth_key", &c.deeplTranslate.authKey}});
    ok &= ApplySection(root, "baidu_translate",
                       {{"url", &c.baiduTranslate.url},
                        {"app_id", &c.baiduTranslate.appId},
                        {"secret_key", &c.baiduTranslate.secretKey}});
    ok &= ApplySection(root, "links",
                       {{"help", &c.links.help},
                        {"agreement", &c.links.agreement},
                        {"privacy", &c.links.privacy},
                        {"contact", &c.links.contact},
                        {"vip_agreement", &c.links.vipAgreement}});
    return ok;
}

ServiceConfig LoadServiceConfig(const std::string& path) {
    ServiceConfig config;
    std::string text;
    std::string error;
    switch (ReadWholeFile(path, text, error)) {
        case ReadFileResult::Missing:
            return config;
        case ReadFileResult::Failed:
            VL_ERROR("service config cannot be read, {}; defaults used", error);
            return config;
        case ReadFileResult::Ok:
            break;
    }
    if (!ApplyServiceConfig(text, config)) {
        VL_WARN("service config \"{}\" is not fully usable, defaults stand for the rest", path);
    } else {
        VL_INFO("service config \"{}\" loaded", path);
    }
    return config;
}

std::string ServiceConfigPath() {
    const std::string dir = ToString(ConfigDir());
    return dir.empty() ? std::string() : dir + "/" + kServiceConfigFile;
}

ServiceConfig Services() {
    std::lock_guard lock(g_mutex);
    if (!g_config) {
        const std::string path = ServiceConfigPath();
        g_config = path.empty() ? ServiceConfig{} : LoadServiceConfig(path);
    }
    return *g_config;
}

bool SaveTranslateConfig(const std::string& path, const ServiceConfig& c, std::string& error) {
    if (path.empty()) {
        error = "the services file has no folder";
        return false;
    }
    std::string text;
    nlohmann::json root = nlohmann::json::object();
    switch (ReadWholeFile(path, text, error)) {
        case ReadFileResult::Failed:
            return false;
        case ReadFileResult::Missing:
            break;
        case ReadFileResult::Ok:
            try {
                root = json::Parse(text);
            } catch (const std::exception& e) {
                error = "\"" + path + "\" is not valid JSON (" + e.what() + "), left as it was";
                return false;
            }
            if (!root.is_object()) {
                error = "\"" + path + "\" is not a JSON object, left as it was";
                return false;
            }
            break;
    }
    // Members of a section that the page does not show stay; a section of another type is ours.
    auto section = [&root](const char* name) -> nlohmann::json& {
        nlohmann::json& s = root[name];
        if (!s.is_object()) {
            s = nlohmann::json::object();
        }
        return s;
    };
    nlohmann::json& translate = section("translate");
    translate["engine"] = c.translate.engine;
    translate["memory"] = c.translate.memory;
    nlohmann::json& youdao = section("youdao_translate");
    youdao["url"] = c.youdaoTranslate.url;
    youdao["app_key"] = c.youdaoTranslate.appKey;
    youdao["app_secret"] = c.youdaoTranslate.appSecret;
    nlohmann::json& openai = section("openai_translate");
    openai["url"] = c.openaiTranslate.url;
    openai["api_key"] = c.openaiTranslate.apiKey;
    openai["model"] = c.openaiTranslate.model;
    nlohmann::json& deepl = section("deepl_translate");
    deepl["url"] = c.deeplTranslate.url;
    deepl["auth_key"] = c.deeplTranslate.authKey;
    nlohmann::json& baidu = section("baidu_translate");
    baidu["url"] = c.baiduTranslate.url;
    baidu["app_id"] = c.baiduTranslate.appId;
    baidu["secret_key"] = c.baiduTranslate.secretKey;
    std::string out;
    try {
        out = root.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (const std::exception& e) {
        error = std::string("services file cannot be written, ") + e.what();
        return false;
    }
    return WriteFileAtomically(path, out, error, LinkPolicy::WriteThrough, 0600);
}

std::string LinkUrl(const std::string& target) {
    const ServiceConfig config = Services();
    const ServiceConfig::Links& l = config.links;
    const std::pair<const char*, const std::string*> named[] = {{"help", &l.help},
                                                                {"agreement", &l.agreement},
                                                                {"privacy", &l.privacy},
                                                                {"contact", &l.contact},
                                                                {"vip_agreement", &l.vipAgreement}};
    std::string url = target;
    for (const auto& [name, value] : named) {
        if (target == name) {
            url = *value;
            break;
        }
    }
    if (url.empty() || url.front() != '/') {
        return url;
    }
    std::string base = config.backend.url;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + url;
}

void SetServices(const ServiceConfig& config) {
    std::lock_guard lock(g_mutex);
    g_config = config;
}

}  // namespace vl
