// The local part of one OCR task, without the network: Base64 and form encoding of a 300 KB
// JPEG, the request signature, and the reading of a 50-line answer. Target: under 5 ms in all.
#include <benchmark/benchmark.h>
#include <json/json.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <random>

#include "logic/baidu_ocr_client.h"
#include "logic/translator.h"
#include "utils/vl_base64.h"

namespace {

constexpr std::size_t kImageBytes = 300 * 1024;
constexpr int kLines = 50;

const std::string& Jpeg() {
    static const std::string bytes = [] {
        std::mt19937 rng(7);
        std::string s(kImageBytes, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        s[0] = '\xFF';
        s[1] = '\xD8';
        s[2] = '\xFF';
        return s;
    }();
    return bytes;
}

const std::string& YoudaoAnswer() {
    static const std::string text = [] {
        nlohmann::json lines = nlohmann::json::array();
        for (int i = 0; i < kLines; ++i) {
            const int y = 20 * i;
            lines.push_back(
                {{"text", "第" + std::to_string(i) + "行のテキスト sample line"},
                 {"boundingBox", "10," + std::to_string(y) + ",610," + std::to_string(y) + ",610," +
                                     std::to_string(y + 18) + ",10," + std::to_string(y + 18)},
                 {"words", nlohmann::json::array()}});
        }
        nlohmann::json root = {
            {"errorCode", "0"},
            {"Result",
             {{"orientation", "UP"},
              {"regions",
               {{{"dir", "h"}, {"lang", "ja"}, {"boundingBox", "0,0,1,1"}, {"lines", lines}}}}}}};
        return root.dump();
    }();
    return text;
}

const std::string& BaiduAnswer() {
    static const std::string text = [] {
        Json::Value root(Json::objectValue);
        root["log_id"] = Json::UInt64(1684927312345678901ULL);
        root["words_result_num"] = kLines;
        Json::Value& results = root["words_result"];
        for (int i = 0; i < kLines; ++i) {
            Json::Value item(Json::objectValue);
            item["words"] = "第" + std::to_string(i) + "行のテキスト sample line";
            item["location"]["left"] = 10;
            item["location"]["top"] = 20 * i;
            item["location"]["width"] = 600;
            item["location"]["height"] = 18;
            for (int k = 0; k < 4; ++k) {
                Json::Value v(Json::objectValue);
                v["x"] = (k == 1 || k == 2) ? 610 : 10;
                v["y"] = 20 * i + (k >= 2 ? 18 : 0);
                item["vertexes_location"].append(v);
            }
            item["probability"]["average"] = 0.99;
            results.append(item);
        }
        return Json::writeString(Json::StreamWriterBuilder(), root);
    }();
    return text;
}

void BM_YoudaoOcrForm_300KB(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Translator::BuildOCRFormYoudao(
            Jpeg(), "ja", "3f1c9a0e5b7d2846", "Rk2vN8sPq4XmT6wYb1LcZ9hDj3GfA7uE",
            "0123456789abcdef0123456789abcdef", "1700000000"));
    }
}
BENCHMARK(BM_YoudaoOcrForm_300KB)->Unit(benchmark::kMillisecond);

void BM_YoudaoOcrAnswer_50Lines(benchmark::State& state) {
    for (auto _ : state) {
        TranslateTask task;
        std::vector<TranslateLine> lines;
        benchmark::DoNotOptimize(Translator::ReadOCRAnswerYoudao(YoudaoAnswer(), task, lines));
        if (lines.size() != kLines)
            state.SkipWithError("answer not read");
    }
}
BENCHMARK(BM_YoudaoOcrAnswer_50Lines)->Unit(benchmark::kMillisecond);

// Everything OCRYoudao does besides waiting for the service.
void BM_YoudaoOcrTaskLocal(benchmark::State& state) {
    for (auto _ : state) {
        const std::string body = Translator::BuildOCRFormYoudao(
            Jpeg(), "ja", "3f1c9a0e5b7d2846", "Rk2vN8sPq4XmT6wYb1LcZ9hDj3GfA7uE",
            "0123456789abcdef0123456789abcdef", "1700000000");
        benchmark::DoNotOptimize(body.data());
        TranslateTask task;
        std::vector<TranslateLine> lines;
        benchmark::DoNotOptimize(Translator::ReadOCRAnswerYoudao(YoudaoAnswer(), task, lines));
    }
}
BENCHMARK(BM_YoudaoOcrTaskLocal)->Unit(benchmark::kMillisecond);

// Everything OCRBaidu does besides the two transfers: the form body, the BCE signature, and the
// parse and reading of the answer.
void BM_BaiduOcrTaskLocal(benchmark::State& state) {
    const BaiduOcrClient client("40817263", "Qx7pL2mZr9TbW4nK8cVd1HsA",
                                "Gt4nB8qWz2LmX7cR1vYp9KdS3hJf6TeU",
                                "https://aip.baidubce.com/oauth/2.0/token",
                                "https://aip.baidubce.com/rest/2.0/ocr/v1/general");
    const std::string url = "https://aip.baidubce.com/rest/2.0/ocr/v1/general";
    for (auto _ : state) {
        BaiduOcrClient::Params body = {
            {"language_type", "JAP"},      {"recognize_granularity", "big"},
            {"detect_direction", "true"},  {"detect_language", "false"},
            {"vertexes_location", "true"}, {"probability", "true"},
            {"paragraph", "true"}};
        body["image"] = vl::ToBase64(Jpeg());
        BaiduOcrClient::Params query = {{"aipSdk", "C"}, {"aipSdkVersion", "0.3.3"}};
        BaiduOcrClient::Params headers;
        client.SignBce("POST", url, query, headers);
        benchmark::DoNotOptimize(BaiduOcrClient::FormEncode(body).data());
        benchmark::DoNotOptimize(BaiduOcrClient::FormEncode(query).data());

        const std::string& text = BaiduAnswer();
        Json::Value answer;
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        reader->parse(text.data(), text.data() + text.size(), &answer, &errors);
        TranslateTask task;
        std::vector<TranslateLine> lines;
        benchmark::DoNotOptimize(Translator::ReadOCRAnswerBaidu(answer, task, lines));
        if (lines.size() != kLines)
            state.SkipWithError("answer not read");
    }
}
BENCHMARK(BM_BaiduOcrTaskLocal)->Unit(benchmark::kMillisecond);

}  // namespace
