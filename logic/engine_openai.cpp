// Chat-completions servers (hosted, or a local one): the lines go out as a JSON array in the user
// message and must come back as a JSON array with one string per line.
#include <array>
#include <nlohmann/json.hpp>

#include "logic/translate_engine.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"

namespace vl::engine {

namespace {

constexpr const char* kVendor = "chat-completions";

constexpr std::array<const char*, kLanguageCount> kLanguageNames = {"Simplified Chinese",
                                                                    "Traditional Chinese",
                                                                    "English",
                                                                    "Japanese",
                                                                    "Korean",
                                                                    "Portuguese",
                                                                    "Spanish",
                                                                    "French",
                                                                    "Russian"};

// The model's content without blanks around it and without a fenced code block around the array.
std::string Unfenced(const std::string& content) {
    const auto first = content.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    const auto last = content.find_last_not_of(" \t\r\n");
    std::string text = content.substr(first, last - first + 1);
    if (text.rfind("```", 0) != 0) {
        return text;
    }
    const auto open = text.find('\n');
    const auto close = text.rfind("```");
    if (open == std::string::npos || close <= open) {
        return text;
    }
    return text.substr(open + 1, close - open - 1);
}

class OpenAiEngine : public ITranslateEngine {
public:
    OpenAiEngine(const ServiceConfig::OpenAiTranslate& config, long timeoutCapMs)
        : config_(config), timeoutCapMs_(timeoutCapMs) {}
    const char* Name() const override { return kOpenAi; }

    bool Translate(LanguageId src, LanguageId dst, const std::vector<std::string>& texts,
                   std::vector<std::string>& out, std::string& error) override {
        out.clear();
        if (src >= kLanguageCount || dst >= kLanguageCount) {
            error = "language " + std::to_string(src >= kLanguageCount ? src : dst) +
                    " is not supported";
            return false;
        }
        if (config_.url.empty()) {
            error = "the chat-completions address is not set";
            return false;
        }
        net::Request request;
        request.verb = net::Verb::Post;
        request.url = JoinUrl(config_.url, "/chat/completions");
        request.headers["Content-Type"] = "application/json";
        if (!config_.apiKey.empty()) {
            request.headers["Authorization"] = "Bearer " + config_.apiKey;
        }
        request.connectTimeoutMs = 5000;
        request.timeoutMs = CappedTimeout(
            60000, timeoutCapMs_);  // a model takes its time over a screenful of lines
        try {
            const std::string system =
                std::string("You translate lines of text from a game or comic from ") +
                kLanguageNames[src] + " to " + kLanguageNames[dst] +
                ". The user sends a JSON array of strings, one per line. Answer with only a JSON "
                "array of strings: exactly one translation for each input line, in the same "
                "order, and nothing else.";
            const nlohmann::json body = {
                {"model", config_.model},
                {"temperature", 0},
                {"messages", nlohmann::json::array(
                                 {{{"role", "system"}, {"content", system}},
                                  {{"role", "user"},
                                   {"content", nlohmann::json(texts).dump(
                                                   -1, ' ', false,
                                                   nlohmann::json::error_handler_t::replace)}}})}};
            request.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        } catch (const std::exception& e) {
            error = std::string("chat-completions request cannot be built, ") + e.what();
            return false;
        }

        const net::Result result = net::Send(request);
        nlohmann::json root;
        const bool isJson = result.ok && ParseJson(result.body, root);
        std::string message;
        if (isJson && root.is_object() && root.contains("error")) {
            const nlohmann::json& e = root["error"];
            if (e.is_object() && e.contains("message") && e["message"].is_string()) {
                message = e["message"].get<std::string>();
            } else if (e.is_string()) {
                message = e.get<std::string>();
            }
        }
        if (!AnswerArrived(kVendor, result, message, error)) {
            return false;
        }
        const nlohmann::json* content = nullptr;
        if (isJson && root.is_object()) {
            const auto choices = root.find("choices");
            if (choices != root.end() && choices->is_array() && !choices->empty()) {
                const nlohmann::json& first = (*choices)[0];
                if (first.is_object() && first.contains("message") &&
                    first["message"].is_object() && first["message"].contains("content") &&
                    first["message"]["content"].is_string()) {
                    content = &first["message"]["content"];
                }
            }
        }
        if (content == nullptr) {
            error = "chat-completions answer has no choices[0].message.content, " +
                    json::Excerpt(result.body);
            VL_ERROR("{}", error);
            return false;
        }
        const std::string text = Unfenced(content->get<std::string>());
        nlohmann::json list;
        bool strings = ParseJson(text, list) && list.is_array();
        if (strings) {
            for (const nlohmann::json& item : list) {
                if (!item.is_string()) {
                    strings = false;
                    break;
                }
                out.push_back(item.get<std::string>());
            }
        }
        if (!strings) {
            out.clear();
            error = "the model did not answer a JSON array of strings: " + json::Excerpt(text);
            VL_ERROR("{}", error);
            return false;
        }
        if (!CountMatches("the model", out.size(), texts.size(), error)) {
            out.clear();
            return false;
        }
        return true;
    }

private:
    const ServiceConfig::OpenAiTranslate config_;
    const long timeoutCapMs_;
};

}  // namespace

std::unique_ptr<ITranslateEngine> MakeOpenAiEngine(const ServiceConfig::OpenAiTranslate& config,
                                                   long timeoutCapMs) {
    return std::make_unique<OpenAiEngine>(config, timeoutCapMs);
}

}  // namespace vl::engine
