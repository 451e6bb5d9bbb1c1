// The local part of one OCR task: Base64 and form encoding of a 300 KB JPEG with its signature,
// and the reading of a 50-line answer. Target: under 5 ms in all.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <random>

#include "logic/translator.h"

namespace {

constexpr int kLines = 50;

const std::string& Jpeg() {
    static const std::string bytes = [] {
        std::mt19937 rng(7);
        std::string s(300 * 1024, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        return s;
    }();
    return bytes;
}

const std::string& YoudaoAnswer() {
    static const std::string text = [] {
        nlohmann::json lines = nlohmann::json::array();
        for (int i = 0; i < kLines; ++i) {
            const std::string y = std::to_string(20 * i), y2 = std::to_string(20 * i + 18);
            lines.push_back(
                {{"text", "第" + std::to_string(i) + "行のテキスト sample line"},
                 {"boundingBox", "10," + y + ",610," + y + ",610," + y2 + ",10," + y2}});
        }
        return nlohmann::json{{"errorCode", "0"},
                              {"Result", {{"regions", {{{"lang", "ja"}, {"lines", lines}}}}}}}
            .dump();
    }();
    return text;
}

void BM_YoudaoOcrTaskLocal(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Translator::BuildOCRFormYoudao(
            Jpeg(), "ja", "3f1c9a0e5b7d2846", "Rk2vN8sPq4XmT6wYb1LcZ9hDj3GfA7uE",
            "0123456789abcdef0123456789abcdef", "1700000000"));
        TranslateTask task;
        std::vector<TranslateLine> lines;
        Translator::ReadOCRAnswerYoudao(YoudaoAnswer(), task, lines);
        if (lines.size() != kLines)
            state.SkipWithError("answer not read");
    }
}
BENCHMARK(BM_YoudaoOcrTaskLocal)->Unit(benchmark::kMillisecond);

}  // namespace
