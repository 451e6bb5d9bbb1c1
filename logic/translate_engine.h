#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "logic/translate_types.h"
#include "utils/vl_services.h"
#include "utils/vl_transfer.h"

class TranslationMemory;

namespace vl::engine {

// Names of the translation engines, as the services file and the command line spell them.
inline constexpr const char* kYoudao = "youdao";
inline constexpr const char* kOpenAi = "openai";
inline constexpr const char* kDeepl = "deepl";
inline constexpr const char* kBaidu = "baidu";

// One translation engine: all lines of a run go out in one request, and the answer comes back
// as exactly one translation per line, in order. Anything else is a failure with a short text.
class ITranslateEngine {
public:
    virtual ~ITranslateEngine() = default;
    virtual const char* Name() const = 0;
    // `texts` is not empty. On success `out` holds texts.size() translations (UTF-8).
    virtual bool Translate(LanguageId src, LanguageId dst, const std::vector<std::string>& texts,
                           std::vector<std::string>& out, std::string& error) = 0;
};

// Translates `lines` through `engine` in one request: the first line's languages stand for the
// run. With a memory, lines it knows (and empty ones) are answered from it, only the others are
// sent, and what the engine answered is stored; a failed run stores nothing. On failure the
// lines keep empty translations and `error` says why.
bool TranslateLines(ITranslateEngine& engine, TranslationMemory* memory,
                    std::vector<TranslateLine>& lines, std::string& error);

// The engine `name` configured from `config`; null for an unknown name. `timeoutCapMs` (when
// positive) shortens the engine's own whole-transfer time-out, for a request someone waits on.
std::unique_ptr<ITranslateEngine> MakeEngine(const std::string& name, const ServiceConfig& config,
                                             long timeoutCapMs = 0);
bool IsEngineName(const std::string& name);

// The engine's name the services choose; "youdao" (logged) for an unknown one.
std::string ConfiguredEngine(const ServiceConfig& config);

// Helpers the engines share.

// "url" without trailing slashes, followed by `path`.
std::string JoinUrl(std::string url, const std::string& path);

// The body as JSON; false (nothing thrown) when it is not JSON.
bool ParseJson(const std::string& body, nlohmann::json& root);

// The failure texts of one transfer: no answer ("<vendor> request failed, <why>"), or an HTTP
// status other than 200 ("<vendor> request failed with HTTP <n>, <vendor message or body>").
// True when the answer is a 200.
bool AnswerArrived(const char* vendor, const net::Result& result, const std::string& message,
                   std::string& error);

// The engine's own time-out under the cap (no cap when it is not positive).
inline long CappedTimeout(long ownMs, long capMs) {
    return capMs > 0 && capMs < ownMs ? capMs : ownMs;
}

// The string `member` of every object of the array `array` of `root`, in order; false (and `out`
// empty) when the array is missing or one of its entries has no such string.
bool ReadEntries(const nlohmann::json& root, const char* array, const char* member,
                 std::vector<std::string>& out);

// The count check every engine makes before it hands translations back.
bool CountMatches(const char* vendor, std::size_t got, std::size_t sent, std::string& error);

// The engines themselves.
std::unique_ptr<ITranslateEngine> MakeYoudaoEngine(const ServiceConfig::YoudaoTranslate& config);
std::unique_ptr<ITranslateEngine> MakeOpenAiEngine(const ServiceConfig::OpenAiTranslate& config,
                                                   long timeoutCapMs);
std::unique_ptr<ITranslateEngine> MakeDeeplEngine(const ServiceConfig::DeeplTranslate& config,
                                                  long timeoutCapMs);
std::unique_ptr<ITranslateEngine> MakeBaiduEngine(const ServiceConfig::BaiduTranslate& config,
                                                  long timeoutCapMs);

}  // namespace vl::engine
