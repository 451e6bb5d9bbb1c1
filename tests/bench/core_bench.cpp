// The local part of one OCR task (Base64 and form encoding of a 300 KB JPEG with its signature,
// the reading of a 50-line answer; target under 5 ms in all), text conversion, and queued
// requests against a loopback server.
#include <benchmark/benchmark.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "logic/translator.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_base64.h"
#include "utils/vl_http.h"
#include "utils/vl_string.h"

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

void BM_FromBase64_300KB(benchmark::State& state) {
    const std::string text = vl::ToBase64(Jpeg());
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::FromBase64(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_FromBase64_300KB);

void BM_Utf8ToUtf16AndBack(benchmark::State& state) {
    const std::string text = YoudaoAnswer();
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::ToUtf8(vl::ToUnicodeW(text)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_Utf8ToUtf16AndBack);

void BM_QueuedGet(benchmark::State& state) {
    vl::test::LoopbackServer server;
    server.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"code":0,"msg":"ok","data":{}})", "application/json");
    });
    server.Start();
    vl::Http* http = vl::Http::Instance();
    http->Init();
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::atomic<int> done{0};
        for (int i = 0; i < batch; ++i) {
            http->GetAsync([&done](bool, auto&&...) { ++done; }, server.Url("/ping"),
                           {{"Access-Token", ""}, {"Content-Type", "application/json"}});
        }
        while (done < batch)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    http->Uninit();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * batch);
}
BENCHMARK(BM_QueuedGet)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
