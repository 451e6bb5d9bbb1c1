#include "logic/translator.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "config/config_manager.h"
#include "logic/local_ocr.h"
#include "logic/translate_engine.h"
#include "logic/translation_memory.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"

namespace {

constexpr const char* kEmptyOcrResult = "ocr result is empty, maybe no char has to be translated ?";

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether a run goes to the local engine first: chosen in the settings, or named by the remote
// configuration while the settings leave it to that.
bool LocalFirst(const ConfigManager::OcrSetup& setup) {
    return setup.choice == ConfigManager::kOcrLocal ||
           (setup.choice == ConfigManager::kOcrAuto && setup.engine == ConfigManager::kOcrLocal);
}

const char* FailureText(Translator::OnlineFailure failure) {
    return failure == Translator::OnlineFailure::Transport ? "the service could not be reached"
                                                           : "the service refused its keys";
}

}  // namespace

Translator::Translator() = default;

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
    VL_INFO("translator stops, waiting for the running task");
    if (thread_.joinable()) {
        thread_.join();
    }
    callback_ = nullptr;
}

bool Translator::PushTask(std::uint32_t id, std::uint32_t srcLang, std::uint32_t dstLang,
                          std::string image, OcrCrop crop) {
    TranslateTask task;
    task.id = id;
    task.srcLang = srcLang;
    task.dstLang = dstLang;
    task.image = std::move(image);
    task.crop = std::move(crop);
    task.ocrVendor = "baidu";
    task.transVendor = "youdao";
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        cv_.notify_one();
    }
    return true;
}

void Translator::Preload(LanguageId srcLang) {
    std::lock_guard lock(mutex_);
    preload_ = true;
    preloadLang_ = srcLang;
    cv_.notify_one();
}

LocalOcr& Translator::Local() {
    if (!local_) {
        local_ = std::make_unique<LocalOcr>(vl::Services().localOcr.dataDir);
    }
    return *local_;
}

void Translator::TaskTh() {
    VL_INFO("task thread in");
    for (;;) {
        TranslateTask task;
        bool preload = false;
        LanguageId preloadLang = 0;
        {
            std::unique_lock lock(mutex_);
            if (stop_) {
                break;
            }
            if (tasks_.empty() && !preload_) {
                cv_.wait(lock);
                if (tasks_.empty() && !preload_) {
                    continue;  // a stop request or a spurious wake-up
                }
            }
            if (preload_) {
                preload = std::exchange(preload_, false);
                preloadLang = preloadLang_;
            } else {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
        }
        if (preload) {
            const ConfigManager::OcrSetup setup =
                vl::Singleton<ConfigManager>::Instance()->GetOcrSetup();
            std::string error;
            if (LocalFirst(setup) && Local().Load(preloadLang, setup.vertical, error)) {
                VL_INFO("local ocr ready for lang {}", preloadLang);
            }
            continue;
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
        task.crop = OcrCrop();  // the pixels are not needed any more
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
    local_.reset();  // the models go with the thread that used them
    VL_INFO("task thread out");
}

bool Translator::OCR(TranslateTask& task, std::vector<TranslateLine>& lines) {
    const ConfigManager::OcrSetup setup = vl::Singleton<ConfigManager>::Instance()->GetOcrSetup();
    onlineFailure_ = OnlineFailure::None;
    if (LocalFirst(setup)) {
        return OCRLocal(task, lines, setup.vertical);
    }
    std::string engine = setup.engine;
    if (engine == ConfigManager::kOcrLocal) {
        // "online" chosen while the remote configuration names the local engine: the built-in
        // online engine of the direction.
        engine = setup.vertical ? "youdao" : "baidu";
    }
    bool ok = false;
    if (engine == "baidu") {
        ok = OCRBaidu(task, lines);
    } else {
        if (engine != "youdao") {
            VL_WARN("unsupported ocr type {}, default use youdao", engine);
            engine = "youdao";
        }
        ok = OCRYoudao(task, lines);
    }
    if (ok || setup.choice != ConfigManager::kOcrAuto ||
        (onlineFailure_ != OnlineFailure::Transport && onlineFailure_ != OnlineFailure::Keys)) {
        return ok;
    }
    VL_WARN("ocr {} failed for task id {}, {}: the local engine answers", engine, task.id,
            FailureText(onlineFailure_));
    lines.clear();
    task.ocrErrInfo.clear();
    task.logId.clear();
    return OCRLocal(task, lines, setup.vertical);
}

bool Translator::OCRLocal(TranslateTask& task, std::vector<TranslateLine>& lines, bool vertical) {
    std::string error;
    const std::int64_t start = NowMs();
    if (!Local().Recognise(task.crop, task.srcLang, task.dstLang, vertical, lines, error)) {
        task.ocrErrInfo = error;
        return false;
    }
    VL_INFO("ocr of task id {} answered by the local engine: {} lines in {} ms", task.id,
            lines.size(), NowMs() - start);
    return true;
}

bool Translator::Translate(TranslateTask& task, std::vector<TranslateLine>& lines) {
    const vl::ServiceConfig config = vl::Services();
    const std::string name = vl::engine::ConfiguredEngine(config);
    const std::unique_ptr<vl::engine::ITranslateEngine> engine =
        vl::engine::MakeEngine(name, config);
    task.transVendor = name;
    TranslationMemory* memory = nullptr;
    if (config.translate.memory) {
        memory = memory_ != nullptr ? memory_ : &TranslationMemory::Process();
    }
    return vl::engine::TranslateLines(*engine, memory, lines, task.transErrInfo);
}
