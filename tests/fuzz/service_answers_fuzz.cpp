// The answers of the OCR and translation services, as the translator reads them.
#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "logic/baidu_ocr_client.h"
#include "logic/translator.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vl::fuzz::QuietLog();
    std::string body;
    TranslateTask task;
    std::vector<TranslateLine> lines;
    switch (vl::fuzz::Split(data, size, 4, body)) {
        case 0:
            Translator::ReadOCRAnswerYoudao(body, task, lines);
            break;
        case 1: {
            std::string translation, error;
            const bool ok = Translator::ReadTranslationYoudao(200, body, translation, error);
            VL_FUZZ_CHECK(ok == error.empty());
            break;
        }
        case 2: {
            Json::Value answer;
            std::string errors;
            if (BaiduOcrClient::ParseAnswer(body, answer, errors)) {
                Translator::ReadOCRAnswerBaidu(answer, task, lines);
            }
            break;
        }
        default: {
            BaiduOcrClient::ReadTokenAnswer(body, std::time(nullptr));
            break;
        }
    }
    return 0;
}
