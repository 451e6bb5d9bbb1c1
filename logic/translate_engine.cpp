#include "logic/translate_engine.h"

#include <nlohmann/json.hpp>

#include "logic/translation_memory.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace vl::engine {

bool TranslateLines(ITranslateEngine& engine, TranslationMemory* memory,
                    std::vector<TranslateLine>& lines, std::string& error) {
    if (lines.empty()) {
        return true;
    }
    const TranslationMemory::Key key{engine.Name(), lines.front().lang, lines.front().dstLang};
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const TranslateLine& line : lines) {
        texts.push_back(line.text);
    }
    std::vector<std::optional<std::string>> known(lines.size());
    if (memory != nullptr) {
        known = memory->Lookup(key, texts);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].text.empty()) {
                known[i] = std::string();
            }
        }
    }
    std::vector<std::size_t> unknown;
    std::vector<std::string> sent;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!known[i]) {
            unknown.push_back(i);
            sent.push_back(texts[i]);
        }
    }
    std::vector<std::string> answers;
    if (!sent.empty()) {
        if (!engine.Translate(key.src, key.dst, sent, answers, error)) {
            return false;
        }
        if (!CountMatches(engine.Name(), answers.size(), sent.size(), error)) {
            return false;
        }
    }
    std::vector<std::pair<std::string, std::string>> learned;
    for (std::size_t j = 0; j < unknown.size(); ++j) {
        known[unknown[j]] = answers[j];
        learned.emplace_back(sent[j], answers[j]);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i].translation = ToUnicodeW(*known[i]);
    }
    if (memory != nullptr) {
        memory->Store(key, learned);
    }
    return true;
}

std::unique_ptr<ITranslateEngine> MakeEngine(const std::string& name, const ServiceConfig& config,
                                             long timeoutCapMs) {
    if (name == kYoudao) {  // its time-out is short already
        return MakeYoudaoEngine(config.youdaoTranslate);
    }
    if (name == kOpenAi) {
        return MakeOpenAiEngine(config.openaiTranslate, timeoutCapMs);
    }
    if (name == kDeepl) {
        return MakeDeeplEngine(config.deeplTranslate, timeoutCapMs);
    }
    if (name == kBaidu) {
        return MakeBaiduEngine(config.baiduTranslate, timeoutCapMs);
    }
    return nullptr;
}

bool IsEngineName(const std::string& name) {
    return name == kYoudao || name == kOpenAi || name == kDeepl || name == kBaidu;
}

std::string ConfiguredEngine(const ServiceConfig& config) {
    if (IsEngineName(config.translate.engine)) {
        return config.translate.engine;
    }
    VL_WARN("unsupported translate engine {}, default use youdao", config.translate.engine);
    return kYoudao;
}

std::string JoinUrl(std::string url, const std::string& path) {
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url + path;
}

bool ParseJson(const std::string& body, nlohmann::json& root) {
    try {
        root = json::Parse(body);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool AnswerArrived(const char* vendor, const net::Result& result, const std::string& message,
                   std::string& error) {
    if (!result.ok) {
        error = std::string(vendor) + " request failed, " + result.error;
        VL_ERROR("{}", error);
        return false;
    }
    if (result.httpCode != 200) {
        error = std::string(vendor) + " request failed with HTTP " +
                std::to_string(result.httpCode) + ", " +
                (message.empty() ? json::Excerpt(result.body) : json::Excerpt(message));
        VL_ERROR("{}", error);
        return false;
    }
    return true;
}

bool ReadEntries(const nlohmann::json& root, const char* array, const char* member,
                 std::vector<std::string>& out) {
    if (!root.is_object() || !root.contains(array) || !root[array].is_array()) {
        return false;
    }
    for (const nlohmann::json& item : root[array]) {
        if (!item.is_object() || !item.contains(member) || !item[member].is_string()) {
            out.clear();
            return false;
        }
        out.push_back(item[member].get<std::string>());
    }
    return true;
}

bool CountMatches(const char* vendor, std::size_t got, std::size_t sent, std::string& error) {
    if (got == sent) {
        return true;
    }
    error = std::string(vendor) + " answered " + std::to_string(got) + " lines for " +
            std::to_string(sent) + " sent";
    VL_ERROR("{}", error);
    return false;
}

}  // namespace vl::engine
