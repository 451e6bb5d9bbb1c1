// velmora-cli run: one capture through the real task pipeline (OCR, then translation).
#include <condition_variable>
#include <iostream>
#include <mutex>

#include "config/config_manager.h"
#include "logic/translator.h"
#include "tools/cli_common.h"
#include "utils/vl_string.h"

namespace cli {

namespace {

// Keeps the one outcome of the pushed task.
class Outcome : public ITranslatorCallback {
public:
    void OnTranslatorResult(std::uint32_t, bool ok, TranslateTask task,
                            std::vector<TranslateLine> lines) override {
        std::lock_guard lock(mutex_);
        ok_ = ok;
        task_ = std::move(task);
        lines_ = std::move(lines);
        done_ = true;
        cv_.notify_all();
    }

    // Every request of a task has its own time-out, so the callback always comes.
    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return done_; });
    }

    bool ok_ = false;
    TranslateTask task_;
    std::vector<TranslateLine> lines_;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
};

}  // namespace

int Run(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "velmora-cli run: needs exactly one IMAGE.jpg\n";
        return kExitUsage;
    }
    unsigned src = 0;
    unsigned dst = 0;
    const auto from = args.options.find("from");
    const auto to = args.options.find("to");
    if ((from != args.options.end() && !ParseLanguage(from->second, "source", src)) ||
        (to != args.options.end() && !ParseLanguage(to->second, "target", dst))) {
        return kExitUsage;
    }
    const auto direction = args.options.find("direction");
    if (direction != args.options.end() && direction->second != "horizontal" &&
        direction->second != "vertical") {
        std::cerr << "velmora-cli run: unknown direction \"" << direction->second
                  << "\" (use horizontal or vertical)\n";
        return kExitUsage;
    }
    const auto ocr = args.options.find("ocr");
    if (ocr != args.options.end() && ocr->second != ConfigManager::kOcrAuto &&
        ocr->second != ConfigManager::kOcrOnline && ocr->second != ConfigManager::kOcrLocal) {
        std::cerr << "velmora-cli run: unknown ocr choice \"" << ocr->second
                  << "\" (use auto, online or local)\n";
        return kExitUsage;
    }
    std::string image;
    OcrCrop crop;
    if (!ReadJpeg("run", args.positional.front(), image) || !DecodeJpeg("run", image, crop)) {
        return kExitUsage;
    }

    EngineSession session("run");
    ConfigManager* config = vl::Singleton<ConfigManager>::Instance();
    if (from == args.options.end()) {
        SettingsLanguage(config->conf().lang().src(), "source", src);
    }
    if (to == args.options.end()) {
        SettingsLanguage(config->conf().lang().dst(), "target", dst);
    }
    // For this run only; never saved.
    if (direction != args.options.end()) {
        config->conf().engine(direction->second);
    }
    if (ocr != args.options.end()) {
        config->conf().ocr(ocr->second);
    }
    config->PublishDirection();

    Outcome outcome;
    Translator translator;
    translator.Init(&outcome);
    translator.PushTask(1, src, dst, std::move(image), std::move(crop));
    outcome.Wait();
    translator.Uninit();

    const TranslateTask& task = outcome.task_;
    std::cerr << "ocr: " << task.ocrVendor << ", " << task.ocrTime << " ms";
    if (!task.logId.empty())
        std::cerr << ", log id " << task.logId;
    std::cerr << "\ntranslation: " << task.transVendor << ", " << task.transTime << " ms\n";
    if (!task.ocrErrInfo.empty())
        std::cerr << "ocr error: " << task.ocrErrInfo << "\n";
    if (!task.transErrInfo.empty())
        std::cerr << "translation error: " << task.transErrInfo << "\n";
    for (const TranslateLine& line : outcome.lines_) {
        const std::string translation = vl::ToUtf8(line.translation);
        PrintLine(line, &translation);
    }
    if (!outcome.ok_) {
        std::cerr << "velmora-cli run: the task failed (-v shows why)\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace cli
