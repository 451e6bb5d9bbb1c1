#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <thread>
#include <vector>

#include "logic/translate_types.h"
#include "utils/vl_services.h"

namespace Json {
class Value;
}
class LocalOcr;
class TranslationMemory;

// Turns one captured image into recognised lines with their translations, on a task thread of
// its own: OCR on the configured engine (Youdao, Baidu or the local one), then one batched
// translation on the configured translation engine.
class Translator {
public:
    Translator();
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    void Init(ITranslatorCallback* callback);
    void Uninit();
    // `image` is the JPEG for the online engines, `crop` the same pixels for the local one; both
    // are moved into the task.
    bool PushTask(std::uint32_t id, std::uint32_t srcLang, std::uint32_t dstLang, std::string image,
                  OcrCrop crop = {});
    // Loads the local model for `srcLang` on the task thread, ahead of the first capture, when
    // the local engine is the one configured. Never waits.
    void Preload(LanguageId srcLang);

    // The steps of one task, also usable on their own (command-line tool, tests).
    bool OCR(TranslateTask& task, std::vector<TranslateLine>& lines);
    // The configured engine (Youdao unless the services name another), with the translation
    // memory unless the services switch it off; task.transVendor names the engine.
    bool Translate(TranslateTask& task, std::vector<TranslateLine>& lines);
    // A memory other than the process's one (tests, benchmarks); set before Init.
    void UseMemory(TranslationMemory* memory) { memory_ = memory; }

    // Recognition on this machine from task.crop; a model is loaded on first use and kept.
    bool OCRLocal(TranslateTask& task, std::vector<TranslateLine>& lines, bool vertical);

    // Why the last online OCR call failed: only a transport failure or a refusal of the keys
    // sends an "auto" run to the local engine.
    enum class OnlineFailure { None, Transport, Keys, Other };
    OnlineFailure LastOnlineFailure() const { return onlineFailure_; }

    bool OCRYoudao(TranslateTask& task, std::vector<TranslateLine>& lines);
    static bool ParseOCROnceYoudao(const nlohmann::json& line, TranslateLine& out);
    // The local halves of OCRYoudao: the signed form body for an image, and the reading of an
    // answer body into lines.
    static std::string BuildOCRFormYoudao(const std::string& image, const std::string& langType,
                                          const std::string& appKey, const std::string& appSecret,
                                          const std::string& salt, const std::string& curtime);
    static bool ReadOCRAnswerYoudao(const std::string& body, TranslateTask& task,
                                    std::vector<TranslateLine>& lines);

    bool OCRBaidu(TranslateTask& task, std::vector<TranslateLine>& lines);
    static bool ParseOCROnceBaidu(const Json::Value& item, TranslateLine& out);
    // The reading half of OCRBaidu: the service's answer into lines, logId and ocrErrInfo.
    static bool ReadOCRAnswerBaidu(const Json::Value& answer, TranslateTask& task,
                                   std::vector<TranslateLine>& lines);

    static bool TranslateOnceYoudao(std::int32_t srcLang, const std::string& text,
                                    std::uint32_t dstLang, std::string& translation,
                                    std::string& error);
    // The same request to the service `service` describes.
    static bool TranslateOnceYoudao(const vl::ServiceConfig::YoudaoTranslate& service,
                                    std::int32_t srcLang, const std::string& text,
                                    std::uint32_t dstLang, std::string& translation,
                                    std::string& error);
    // The reading half of TranslateOnceYoudao: the HTTP status and body of the answer.
    static bool ReadTranslationYoudao(long status, const std::string& response,
                                      std::string& translation, std::string& error);

private:
    void TaskTh();
    LocalOcr& Local();

    bool stop_ = false;
    ITranslatorCallback* callback_ = nullptr;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<TranslateTask> tasks_;
    bool preload_ = false;  // under mutex_
    LanguageId preloadLang_ = 0;
    std::thread thread_;
    // Task thread only (or the caller of OCR when no thread runs).
    std::unique_ptr<LocalOcr> local_;
    OnlineFailure onlineFailure_ = OnlineFailure::None;
    TranslationMemory* memory_ = nullptr;
};
