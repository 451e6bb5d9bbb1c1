// Youdao's text translation as one engine: the lines joined by line feeds, each one ended by its
// own, and the answer split back at line feeds.
#include "logic/translate_engine.h"
#include "logic/translator.h"
#include "utils/vl_log.h"

namespace vl::engine {

namespace {

class YoudaoEngine : public ITranslateEngine {
public:
    explicit YoudaoEngine(const ServiceConfig::YoudaoTranslate& config) : config_(config) {}
    const char* Name() const override { return kYoudao; }

    bool Translate(LanguageId src, LanguageId dst, const std::vector<std::string>& texts,
                   std::vector<std::string>& out, std::string& error) override {
        out.clear();
        std::string query;
        for (const std::string& text : texts) {
            query.append(text).push_back('\n');
        }
        std::string translation;
        if (!Translator::TranslateOnceYoudao(config_, static_cast<std::int32_t>(src), query, dst,
                                             translation, error)) {
            VL_ERROR("TranslateOnceYoudao failed for \"{}\"", query);
            return false;
        }
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = translation.find('\n', start);
            out.push_back(translation.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        // The query's last line feed may come back as an empty last piece.
        if (out.size() == texts.size() + 1 && out.back().empty()) {
            out.pop_back();
        }
        if (!CountMatches("youdao", out.size(), texts.size(), error)) {
            out.clear();
            return false;
        }
        return true;
    }

private:
    const ServiceConfig::YoudaoTranslate config_;
};

}  // namespace

std::unique_ptr<ITranslateEngine> MakeYoudaoEngine(const ServiceConfig::YoudaoTranslate& config) {
    return std::make_unique<YoudaoEngine>(config);
}

}  // namespace vl::engine
