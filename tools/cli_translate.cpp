#include <iostream>

#include "logic/translate_engine.h"
#include "tools/cli_common.h"
#include "utils/vl_string.h"

namespace cli {

int Translate(const Args& args) {
    const auto from = args.options.find("from");
    const auto to = args.options.find("to");
    if (from == args.options.end() || to == args.options.end() || args.positional.size() > 1) {
        std::cerr << "velmora-cli translate: needs --from CODE --to CODE and at most one TEXT\n";
        return kExitUsage;
    }
    const vl::ServiceConfig config = vl::Services();
    const auto chosen = args.options.find("engine");
    const std::string name =
        chosen != args.options.end() ? chosen->second : vl::engine::ConfiguredEngine(config);
    const std::unique_ptr<vl::engine::ITranslateEngine> engine =
        vl::engine::MakeEngine(name, config);
    if (!engine) {
        std::cerr << "velmora-cli translate: unknown engine \"" << name
                  << "\" (youdao, openai, deepl or baidu)\n";
        return kExitUsage;
    }
    unsigned src = 0;
    unsigned dst = 0;
    if (!ParseLanguage(from->second, "source", src) || !ParseLanguage(to->second, "target", dst)) {
        return kExitUsage;
    }

    std::vector<TranslateLine> lines;
    auto add = [&](std::string text) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        TranslateLine line;
        line.lang = src;
        line.dstLang = dst;
        line.text = std::move(text);
        lines.push_back(std::move(line));
    };
    if (args.positional.size() == 1) {
        add(args.positional.front());
    } else {
        std::string text;
        while (std::getline(std::cin, text))
            add(text);
    }
    if (lines.empty()) {
        return kExitOk;
    }

    // One call, one request: the memory is the program's, not the tool's.
    std::string error;
    if (!vl::engine::TranslateLines(*engine, nullptr, lines, error)) {
        std::cerr << error << "\n";
        return kExitFailed;
    }
    for (const TranslateLine& line : lines) {
        std::cout << vl::ToUtf8(line.translation) << "\n";
    }
    return kExitOk;
}

}  // namespace cli
