// velmora-cli ocr: one OCR engine on one JPEG, as the translator runs it.
#include <iostream>

#include "config/config_manager.h"
#include "logic/translator.h"
#include "tools/cli_common.h"

namespace cli {

int Ocr(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "velmora-cli ocr: needs exactly one IMAGE.jpg\n";
        return kExitUsage;
    }
    const auto engine = args.options.find("engine");
    if (engine != args.options.end() && engine->second != "baidu" && engine->second != "youdao" &&
        engine->second != "local") {
        std::cerr << "velmora-cli ocr: unknown engine \"" << engine->second
                  << "\" (use baidu, youdao or local)\n";
        return kExitUsage;
    }
    unsigned src = 0;
    const auto from = args.options.find("from");
    if (from != args.options.end() && !ParseLanguage(from->second, "source", src)) {
        return kExitUsage;
    }
    std::string image;
    OcrCrop crop;
    if (!ReadJpeg("ocr", args.positional.front(), image) || !DecodeJpeg("ocr", image, crop)) {
        return kExitUsage;
    }

    EngineSession session("ocr");
    ConfigManager* config = vl::Singleton<ConfigManager>::Instance();
    if (from == args.options.end()) {
        SettingsLanguage(config->conf().lang().src(), "source", src);
    }
    unsigned dst = 0;
    SettingsLanguage(config->conf().lang().dst(), "target", dst);

    TranslateTask task;
    task.id = 1;
    task.srcLang = src;
    task.dstLang = dst;
    task.image = std::move(image);
    task.crop = std::move(crop);
    std::vector<TranslateLine> lines;
    Translator translator;
    bool ok = false;
    if (engine == args.options.end()) {
        ok = translator.OCR(task, lines);  // the engine the configuration names
    } else if (engine->second == "local") {
        ok = translator.OCRLocal(task, lines, config->GetOcrSetup().vertical);
    } else if (engine->second == "baidu") {
        ok = translator.OCRBaidu(task, lines);
    } else {
        ok = translator.OCRYoudao(task, lines);
    }
    for (const TranslateLine& line : lines) {
        PrintLine(line, nullptr);
    }
    if (!task.logId.empty()) {
        std::cerr << "log id: " << task.logId << "\n";
    }
    if (!task.ocrErrInfo.empty()) {
        std::cerr << task.ocrErrInfo << "\n";
    }
    if (!ok) {
        std::cerr << "velmora-cli ocr: recognition failed (-v shows why)\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace cli
