#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <thread>
#include <vector>

#include "logic/translate_types.h"

namespace Json {
class Value;
}

// Turns one captured image into recognised lines with their translations, on a task thread of
// its own: OCR on the configured engine (Youdao or Baidu), then one batched Youdao translation.
class Translator {
public:
    Translator() = default;
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    void Init(ITranslatorCallback* callback);
    void Uninit();
    bool PushTask(std::uint32_t id, std::uint32_t srcLang, std::uint32_t dstLang,
                  const std::string& image);

    // The steps of one task, also usable on their own (command-line tool, tests).
    bool OCR(TranslateTask& task, std::vector<TranslateLine>& lines);
    bool Translate(TranslateTask& task, std::vector<TranslateLine>& lines);

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

    bool TranslateYoudao(TranslateTask& task, std::vector<TranslateLine>& lines);
    static bool TranslateOnceYoudao(std::int32_t srcLang, const std::string& text,
                                    std::uint32_t dstLang, std::string& translation,
                                    std::string& error);
    // The reading half of TranslateOnceYoudao: the HTTP status and body of the answer.
    static bool ReadTranslationYoudao(long status, const std::string& response,
                                      std::string& translation, std::string& error);

private:
    void TaskTh();

    bool stop_ = false;
    ITranslatorCallback* callback_ = nullptr;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<TranslateTask> tasks_;
    std::thread thread_;
};
