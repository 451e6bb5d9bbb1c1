#include "logic/translator.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "config/config_manager.h"
#include "utils/vl_log.h"

namespace {

constexpr const char* kEmptyOcrResult = "ocr result is empty, maybe no char has to be translated ?";

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Translator::~Translator() {
    // The owner calls Uninit; this only keeps a forgotten thread from ending the process.
    Uninit();
}

void Translator::Init(ITranslatorCallback* callback) {
    if (callback_ != nullptr) {
        VL_WARN("translator is already inited");
        return;
    }
    callback_ = callback;
    try {
        thread_ = std::thread(&Translator::TaskTh, this);
    } catch (const std::system_error& e) {
        VL_ERROR("create task thread failed with {}, {}", e.code().value(), e.what());
        callback_ = nullptr;
    }
}

void Translator::Uninit() {
    if (callback_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cv_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    callback_ = nullptr;
}

bool Translator::PushTask(std::uint32_t id, std::uint32_t srcLang, std::uint32_t dstLang,
                          const std::string& image) {
    TranslateTask task;
    task.id = id;
    task.srcLang = srcLang;
    task.dstLang = dstLang;
    task.image = image;
    task.ocrVendor = "baidu";
    task.transVendor = "youdao";
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        cv_.notify_one();
    }
    return true;
}

void Translator::TaskTh() {
    VL_INFO("task thread in");
    for (;;) {
        TranslateTask task;
        {
            std::unique_lock lock(mutex_);
            if (stop_) {
                break;
            }
            if (tasks_.empty()) {
                cv_.wait(lock);
                if (tasks_.empty()) {
                    continue;  // a stop request or a spurious wake-up
                }
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // Set before the thread starts and cleared only after it was joined.
        ITranslatorCallback* const callback = callback_;
        if (callback == nullptr) {
            VL_WARN("no callback");
            continue;
        }

        const std::uint32_t id = task.id;
        std::vector<TranslateLine> lines;
        const std::int64_t ocrStart = NowMs();
        const bool ocrOk = OCR(task, lines);
        task.ocrTime = NowMs() - ocrStart;
        if (!ocrOk) {
            VL_ERROR("OCR failed for task id {}", task.id);
            callback->OnTranslatorResult(id, false, std::move(task), std::move(lines));
            continue;
        }
        if (lines.empty()) {
            VL_WARN("{}", kEmptyOcrResult);
            task.ocrErrInfo = kEmptyOcrResult;
            callback->OnTranslatorResult(id, true, std::move(task), std::move(lines));
            continue;
        }
        const std::int64_t transStart = NowMs();
        const bool transOk = Translate(task, lines);
        task.transTime = NowMs() - transStart;
        if (!transOk) {
            VL_ERROR("Translate failed");
        }
        callback->OnTranslatorResult(id, transOk, std::move(task), std::move(lines));
    }
    VL_INFO("task thread out");
}

bool Translator::OCR(TranslateTask& task, std::vector<TranslateLine>& lines) {
    const std::string engine = vl::Singleton<ConfigManager>::Instance()->GetOcrEngine();
    if (engine == "baidu") {
        return OCRBaidu(task, lines);
    }
    if (engine != "youdao") {
        VL_WARN("unsupported ocr type {}, default use youdao", engine);
    }
    return OCRYoudao(task, lines);
}

bool Translator::Translate(TranslateTask& task, std::vector<TranslateLine>& lines) {
    return TranslateYoudao(task, lines);
}
