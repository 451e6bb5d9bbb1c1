// Speed of the request-building path: Base64 and form encoding of a captured image, the Youdao
// signature, and one translation round trip against a loopback server.
#include <benchmark/benchmark.h>

#include <random>

#include "logic/translator.h"
#include "logic/youdao_common.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_base64.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

namespace {

const std::string& RandomBytes() {
    static const std::string bytes = [] {
        std::mt19937 rng(42);
        std::string s(1 << 20, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        return s;
    }();
    return bytes;
}

void BM_ToBase64_1MiB(benchmark::State& state) {
    const std::string& in = RandomBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::ToBase64(in));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * in.size());
}
BENCHMARK(BM_ToBase64_1MiB);

void BM_FromBase64_1MiB(benchmark::State& state) {
    const std::string text = vl::ToBase64(RandomBytes());
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::FromBase64(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_FromBase64_1MiB);

void BM_UrlEncode_1MiB(benchmark::State& state) {
    const std::string& in = RandomBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::UrlEncode(in));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * in.size());
}
BENCHMARK(BM_UrlEncode_1MiB);

// A captured image as the OCR request carries it: Base64 text, then form-encoded.
void BM_UrlEncode_Base64Image_1MiB(benchmark::State& state) {
    const std::string text = vl::ToBase64(RandomBytes()).substr(0, 1 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(vl::UrlEncode(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_UrlEncode_Base64Image_1MiB);

void BM_YoudaoSign_1MiBImageText(benchmark::State& state) {
    const std::string text = vl::ToBase64(RandomBytes()).substr(0, 1 << 20);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vl::youdao::Sign("3f1c9a0e5b7d2846", vl::youdao::SignInput(text),
                                                  "0123456789abcdef0123456789abcdef", "1765000000",
                                                  "secret"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_YoudaoSign_1MiBImageText);

void BM_TranslateOnceYoudao_Loopback(benchmark::State& state) {
    vl::test::LoopbackServer server;
    server.Post("/api", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"errorCode":"0","translation":["one\ntwo\nthree\n"]})",
                        "application/json");
    });
    server.Start();
    vl::ServiceConfig config;
    config.youdaoTranslate.url = server.Url("/api");
    vl::SetServices(config);
    std::string translation;
    std::string error;
    for (auto _ : state) {
        if (!Translator::TranslateOnceYoudao(3, "一行目\n二行目\n三行目\n", 0, translation,
                                             error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
}
BENCHMARK(BM_TranslateOnceYoudao_Loopback)->Unit(benchmark::kMicrosecond);

}  // namespace
