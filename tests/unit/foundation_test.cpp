#include <gtest/gtest.h>

#include <thread>

#include "logic/translate_types.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_services.h"
#include "utils/vl_singleton.h"

using vl::test::LogCapture;

TEST(Language, CodesMapBothWays) {
    const char* codes[] = {"chs", "cht", "eng", "jap", "kor", "por", "spa", "fre", "rus"};
    for (LanguageId id = 0; id < 9; ++id) {
        EXPECT_EQ(vl::LangCodeToId(codes[id]), id);
        EXPECT_EQ(vl::LangIdToCode(id), codes[id]);
    }
    EXPECT_EQ(vl::LangCodeToId("kor"), 4u);
    EXPECT_EQ(vl::LangCodeToId(""), 0u);
    EXPECT_EQ(vl::LangCodeToId("xyz"), 0u);
    EXPECT_EQ(vl::LangCodeToId("KOR"), 0u);
    EXPECT_EQ(vl::LangIdToCode(9), "");
}

namespace {

struct Counted : vl::Singleton<Counted> {
    Counted() { ++constructions; }
    static inline std::atomic<int> constructions{0};
};

}  // namespace

TEST(Singleton, ConcurrentFirstCallsConstructOnce) {
    std::vector<std::thread> threads;
    std::vector<Counted*> seen(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&seen, i] { seen[i] = Counted::Instance(); });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(Counted::constructions.load(), 1);
    for (Counted* p : seen)
        EXPECT_EQ(p, seen[0]);
}

TEST(ServiceConfig, FileOverridesFieldByField) {
    vl::test::TempDir dir;
    dir.Write("s.json", R"({"backend":{"url":"http://127.0.0.1:9"},
                           "youdao_translate":{"app_key":"k"},
                           "baidu_ocr":{"secret_key":"s","app_id":"1"}})");
    const vl::ServiceConfig c = vl::LoadServiceConfig(dir.File("s.json"));
    const vl::ServiceConfig d;
    EXPECT_EQ(c.backend.url, "http://127.0.0.1:9");
    EXPECT_EQ(c.youdaoTranslate.appKey, "k");
    EXPECT_EQ(c.youdaoTranslate.appSecret, d.youdaoTranslate.appSecret);
    EXPECT_EQ(c.youdaoTranslate.url, d.youdaoTranslate.url);
    EXPECT_EQ(c.baiduOcr.secretKey, "s");
    EXPECT_EQ(c.baiduOcr.appId, "1");
    EXPECT_EQ(c.baiduOcr.apiKey, d.baiduOcr.apiKey);
    EXPECT_EQ(c.youdaoOcr.url, d.youdaoOcr.url);
}

TEST(ServiceConfig, BadContentKeepsDefaultsForWhatCouldNotBeRead) {
    vl::test::TempDir dir;
    const vl::ServiceConfig d;

    LogCapture::Get()->Clear();
    dir.Write("broken.json", R"({"backend": )");
    EXPECT_EQ(vl::LoadServiceConfig(dir.File("broken.json")).backend.url, d.backend.url);
    EXPECT_TRUE(LogCapture::Get()->Contains("parse service config failed"));

    LogCapture::Get()->Clear();
    dir.Write("types.json", R"({"backend":"http://x","youdao_ocr":{"url":5,"app_key":"k2"}})");
    const vl::ServiceConfig c = vl::LoadServiceConfig(dir.File("types.json"));
    EXPECT_EQ(c.backend.url, d.backend.url);
    EXPECT_EQ(c.youdaoOcr.url, d.youdaoOcr.url);
    EXPECT_EQ(c.youdaoOcr.appKey, "k2");
    EXPECT_TRUE(LogCapture::Get()->Contains("\"backend\" is not an object"));
    EXPECT_TRUE(LogCapture::Get()->Contains("\"youdao_ocr.url\" is not a string"));

    LogCapture::Get()->Clear();
    EXPECT_EQ(vl::LoadServiceConfig(dir.File("missing.json")).backend.url, d.backend.url);
    EXPECT_TRUE(LogCapture::Get()->Entries().empty());

    dir.Write("array.json", "[1,2]");
    EXPECT_EQ(vl::LoadServiceConfig(dir.File("array.json")).backend.url, d.backend.url);
}
