#pragma once

#include <string>

// Hosts and credentials of the outside services. Built-in defaults, overridden field by field by
// an optional "velmora-services.json" in the settings folder (vl::ConfigDir).
namespace vl {

struct ServiceConfig {
    struct Backend {
        std::string url = "http://127.0.0.1:8731";
    } backend;
    struct YoudaoOcr {
        std::string url = "https://openapi.youdao.com/ocrapi";
        std::string appKey = "3f1c9a0e5b7d2846";
        std::string appSecret = "Rk2vN8sPq4XmT6wYb1LcZ9hDj3GfA7uE";
    } youdaoOcr;
    struct YoudaoTranslate {
        std::string url = "https://openapi.youdao.com/api";
        std::string appKey = "9a4e27c1d05b8f36";
        std::string appSecret = "Hm5tW1xQc8VrB3nKp6ZsL0dYg4JfE2uA";
    } youdaoTranslate;
    struct BaiduOcr {
        std::string tokenUrl = "https://aip.baidubce.com/oauth/2.0/token";
        std::string generalUrl = "https://aip.baidubce.com/rest/2.0/ocr/v1/general";
        std::string appId = "40817263";
        std::string apiKey = "Qx7pL2mZr9TbW4nK8cVd1HsA";
        std::string secretKey = "Gt4nB8qWz2LmX7cR1vYp9KdS3hJf6TeU";
    } baiduOcr;
    // The local engine's trained models (Debian's tesseract-ocr-* packages).
    struct LocalOcr {
        std::string dataDir = "/usr/share/tesseract-ocr/5/tessdata";
    } localOcr;
    // The translation engine of a run ("youdao", "openai", "deepl" or "baidu") and whether the
    // translation memory answers repeated lines.
    struct Translate {
        std::string engine = "youdao";
        bool memory = true;
    } translate;
    // A chat-completions server: hosted, or local (no key, no Authorization header).
    struct OpenAiTranslate {
        std::string url;
        std::string apiKey;
        std::string model = "gpt-4o-mini";
    } openaiTranslate;
    struct DeeplTranslate {
        std::string url = "https://api.deepl.com";
        std::string authKey;
    } deeplTranslate;
    struct BaiduTranslate {
        std::string url = "https://fanyi-api.baidu.com/api/trans/vip/translate";
        std::string appId;
        std::string secretKey;
    } baiduTranslate;
    // Pages the windows link to: an http(s) address, or a path on the back-end.
    struct Links {
        std::string help = "/pages/help";
        std::string agreement = "/pages/agreement";
        std::string privacy = "/pages/privacy";
        std::string contact = "/pages/contact";
        std::string vipAgreement = "/pages/vip-agreement";
    } links;
};

inline constexpr const char* kServiceConfigFile = "velmora-services.json";

// Applies the members of a JSON text over `config`. A member of the wrong type is logged and
// skipped; a text that is not a JSON object is logged and changes nothing. False when anything
// could not be used.
bool ApplyServiceConfig(const std::string& jsonText, ServiceConfig& config);

// Reads `path` over the defaults. A missing file gives the defaults silently; one that cannot be
// read is logged.
ServiceConfig LoadServiceConfig(const std::string& path);

// Where the process's services file is (in the settings folder).
std::string ServiceConfigPath();

// The process's configuration: loaded from ServiceConfigPath() on first use.
ServiceConfig Services();

// Writes the translation members of `config` ("translate", "youdao_translate",
// "openai_translate", "deepl_translate", "baidu_translate") into the services file at `path`,
// keeping every other member as it stands; the file is replaced atomically and readable only by
// its owner. A file that exists but is not a JSON object is not touched: false with `error`.
bool SaveTranslateConfig(const std::string& path, const ServiceConfig& config, std::string& error);

// The address a link target leads to: a link name of the services file ("help", "agreement",
// "privacy", "contact", "vip_agreement") stands for its configured value; a path ("/pages/help")
// is resolved against the back-end address; anything else is returned as it is (the browser
// launcher opens only http and https addresses).
std::string LinkUrl(const std::string& target);

// Replaces the process's configuration (tests and tools pointing the clients elsewhere).
void SetServices(const ServiceConfig& config);

}  // namespace vl
