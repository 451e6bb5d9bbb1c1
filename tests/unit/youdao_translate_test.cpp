#include <gtest/gtest.h>

#include <curl/curl.h>

#include <chrono>

#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_cert.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;

namespace {

constexpr const char* kKey = "testkey0123456789";
constexpr const char* kSecret = "testsecret";

// A loopback stand-in for the translation service: answers every POST /api with the scripted
// status and body.
class YoudaoTranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Post("/api", [this](const httplib::Request&, httplib::Response& res) {
            res.status = status_;
            res.set_content(answer_, "application/json");
        });
        server_.Start();
        vl::ServiceConfig config;
        config.youdaoTranslate.url = server_.Url("/api");
        config.youdaoTranslate.appKey = kKey;
        config.youdaoTranslate.appSecret = kSecret;
        vl::SetServices(config);
        LogCapture::Get()->Clear();
    }

    void Answer(int status, std::string body) {
        status_ = status;
        answer_ = std::move(body);
    }

    // Runs one request and returns the error text (empty on success).
    std::string Fail(int status, const std::string& body) {
        Answer(status, body);
        std::string translation = "stale";
        std::string error;
        EXPECT_FALSE(Translator::TranslateOnceYoudao(3, "text", 0, translation, error));
        EXPECT_EQ(translation, "");
        return error;
    }

    int status_ = 200;
    std::string answer_ = R"({"errorCode":"0","translation":["ok"]})";
    LoopbackServer server_;  // last: stopped before the state its handler reads goes away
};

}  // namespace

TEST_F(YoudaoTranslateTest, SendsSignedFormInFieldOrder) {
    std::string translation;
    std::string error;
    ASSERT_TRUE(Translator::TranslateOnceYoudao(3, "a b\n", 0, translation, error)) << error;
    EXPECT_EQ(translation, "ok");
    const auto request = server_.Requests().at(0);
    EXPECT_EQ(request.body.rfind("q=a+b%0A&from=ja&to=zh-CHS&appKey=", 0), 0u) << request.body;
    const auto form = vl::test::ParseForm(request.body);
    ASSERT_EQ(form.size(), 8u);
    const char* order[] = {"q", "from", "to", "appKey", "salt", "signType", "sign", "curtime"};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(form[i].first, order[i]);
    EXPECT_EQ(form[6].second, vl::test::Sha256HexEvp(std::string(kKey) + "a b\n" + form[4].second +
                                                     form[7].second + kSecret));
    EXPECT_EQ(request.body.find(kSecret), std::string::npos);
}

// Long texts are signed by their first and last ten UTF-16 units around the unit count.
TEST_F(YoudaoTranslateTest, SignatureCountsUtf16CodeUnits) {
    const std::string chinese25 = "一二三四五六七八九十一二三四五六七八九十甲乙丙丁戊";
    const std::string astral = "\xF0\x9F\x98\x80" + std::string(19, 'x');  // 2 + 19 units
    const std::pair<std::string, std::string> cases[] = {
        {chinese25, "一二三四五六七八九十25六七八九十甲乙丙丁戊"},
        {astral,
         "\xF0\x9F\x98\x80"
         "xxxxxxxx21xxxxxxxxxx"},
    };
    for (const auto& [text, input] : cases) {
        std::string translation;
        std::string error;
        ASSERT_TRUE(Translator::TranslateOnceYoudao(0, text, 2, translation, error)) << error;
        const auto form = vl::test::ParseForm(server_.Requests().back().body);
        EXPECT_EQ(form[6].second, vl::test::Sha256HexEvp(std::string(kKey) + input +
                                                         form[4].second + form[7].second + kSecret))
            << text;
    }
}

TEST_F(YoudaoTranslateTest, BatchSendsOneQueryAndDistributesPiecesByPosition) {
    Answer(200, R"({"errorCode":"0","translation":["A\n\nC"]})");
    std::vector<TranslateLine> lines(4);
    const char* texts[] = {"a", "", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        lines[i].lang = 3;
        lines[i].text = texts[i];
    }
    TranslateTask task;
    Translator translator;
    ASSERT_TRUE(translator.TranslateYoudao(task, lines));
    EXPECT_EQ(vl::test::ParseForm(server_.Requests().back().body)[0].second, "a\n\nc\nd\n");
    EXPECT_EQ(lines[0].translation, u"A");
    EXPECT_EQ(lines[1].translation, u"");
    EXPECT_EQ(lines[2].translation, u"C");
    EXPECT_EQ(lines[3].translation, u"");
}

// One case per class: status, not JSON, bad envelope, bad element; each with its log line.
TEST_F(YoudaoTranslateTest, EachClassOfAnswerFailureHasItsText) {
    EXPECT_EQ(Fail(500, "B"), "translate request failed response code 500, B");
    EXPECT_TRUE(
        LogCapture::Get()->Has("translate request failed response code 500, response msg B"));
    EXPECT_EQ(Fail(200, "not json").rfind("parse json failed, error ", 0), 0u);
    EXPECT_TRUE(LogCapture::Get()->Contains("parse json failed, error "));
    const std::string badCode = R"({"errorCode":"202","translation":["x"]})";
    EXPECT_EQ(Fail(200, badCode), "response failed with 202, " + badCode);
    EXPECT_TRUE(LogCapture::Get()->Has("response failed with 202, json : \n" + badCode));
    const std::string notString = R"({"errorCode":"0","translation":[1]})";
    EXPECT_EQ(Fail(200, notString),
              "response \"translation\" index 0 is not a string, " + notString);
    // Deeper than any answer nests: refused before the reader (which would throw) sees it.
    const std::string deep = R"({"errorCode":"0","translation":)" + std::string(5000, '[') +
                             std::string(5000, ']') + "}";
    EXPECT_EQ(Fail(200, deep).rfind("parse json failed, error nesting deeper than 64", 0), 0u);
}

TEST_F(YoudaoTranslateTest, LanguagesAreCheckedBeforeSending) {
    std::string translation;
    std::string error;
    EXPECT_FALSE(Translator::TranslateOnceYoudao(-1, "x", 2, translation, error));
    EXPECT_EQ(error, "src lang -1 is not supported");
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "x", 9, translation, error));
    EXPECT_EQ(error, "dst lang 9 is not supported");
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST(YoudaoTranslateTls, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
    LoopbackServer server(dir.File("cert.pem"), dir.File("key.pem"));
    server.Start();
    vl::ServiceConfig config;
    config.youdaoTranslate.url = server.Url("/api");
    vl::SetServices(config);
    std::string translation;
    std::string error;
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "secret text", 2, translation, error));
    EXPECT_EQ(error, std::string("curl_easy_perform failed with 60, ") +
                         curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION));
    EXPECT_EQ(server.RequestCount(), 0u);
}
