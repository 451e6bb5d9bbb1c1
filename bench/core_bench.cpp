// The local part of one OCR task: Base64 and form encoding of a 300 KB JPEG with its signature,
// and the reading of a 50-line answer. Target: under 5 ms in all. The translation step of a
// 20-line run: every line in the translation memory, and through a loopback engine.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <random>

#include "logic/translate_engine.h"
#include "logic/translation_memory.h"
#include "logic/translator.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"

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

std::vector<TranslateLine> RunLines() {
    std::vector<TranslateLine> lines(20);
    for (int i = 0; i < 20; ++i) {
        lines[i].lang = 3;
        lines[i].text = "第" + std::to_string(i) + "行のセリフです";
    }
    return lines;
}

void BM_TranslateStep20Lines(benchmark::State& state) {
    const bool fromMemory = state.range(0) != 0;
    vl::test::VendorServices services;
    std::string pieces;
    for (int i = 0; i < 20; ++i)
        pieces += "第" + std::to_string(i) + "行的台词\\n";
    services.Set("/api", 200, R"({"errorCode":"0","translation":[")" + pieces + R"("]})");
    vl::test::TempDir dir;
    TranslationMemory memory(dir.File("memory.sqlite3"));
    const auto engine = vl::engine::MakeEngine("youdao", vl::Services());
    std::string error;
    std::vector<TranslateLine> lines = RunLines();
    if (!vl::engine::TranslateLines(*engine, &memory, lines, error))
        state.SkipWithError(error.c_str());
    for (auto _ : state) {
        lines = RunLines();
        if (!vl::engine::TranslateLines(*engine, fromMemory ? &memory : nullptr, lines, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetLabel(fromMemory ? "memory" : "loopback engine");
}
BENCHMARK(BM_TranslateStep20Lines)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
