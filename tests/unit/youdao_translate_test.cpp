#include <gtest/gtest.h>

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

// The signature input as the service defines it, counted here by hand.
std::string Truncate(const std::u16string& w, const std::string& utf8) {
    if (w.size() <= 20)
        return utf8;
    return vl::ToUtf8(w.substr(0, 10)) + std::to_string(w.size()) +
           vl::ToUtf8(w.substr(w.size() - 10));
}

}  // namespace

TEST_F(YoudaoTranslateTest, SendsSignedFormInFieldOrder) {
    std::string translation;
    std::string error;
    const auto before = std::chrono::system_clock::now();
    ASSERT_TRUE(Translator::TranslateOnceYoudao(3, "a b\n", 0, translation, error)) << error;
    EXPECT_EQ(translation, "ok");
    EXPECT_EQ(error, "");

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].body.rfind("q=a+b%0A&from=ja&to=zh-CHS&appKey=", 0), 0u)
        << requests[0].body;
    const auto form = vl::test::ParseForm(requests[0].body);
    ASSERT_EQ(form.size(), 8u);
    const char* order[] = {"q", "from", "to", "appKey", "salt", "signType", "sign", "curtime"};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(form[i].first, order[i]);
    EXPECT_EQ(form[0].second, "a b\n");
    EXPECT_EQ(form[3].second, kKey);
    EXPECT_EQ(form[4].second.size(), 32u);
    EXPECT_EQ(form[5].second, "v3");
    const long long curtime = std::stoll(form[7].second);
    const long long now =
        std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count();
    EXPECT_LE(std::llabs(curtime - now), 5);
    EXPECT_EQ(form[6].second, vl::test::Sha256HexEvp(std::string(kKey) + "a b\n" + form[4].second +
                                                     form[7].second + kSecret));
    // The secret itself never travels.
    EXPECT_EQ(requests[0].body.find(kSecret), std::string::npos);
}

TEST_F(YoudaoTranslateTest, SignatureCountsUtf16CodeUnits) {
    const std::string chinese20 = "一二三四五六七八九十一二三四五六七八九十";  // 20 units
    const std::string chinese25 = chinese20 + "甲乙丙丁戊";                    // 25 units
    const std::string ascii21 = "abcdefghijklmnopqrstu";                       // 21 units
    const std::string astral = "\xF0\x9F\x98\x80" + std::string(19, 'x');      // 2 + 19 units
    struct Case {
        std::string text;
        std::string expectedInput;
    } cases[] = {
        {std::string(20, 'a'), std::string(20, 'a')},
        {ascii21, "abcdefghij21lmnopqrstu"},
        {chinese20, chinese20},
        {chinese25, "一二三四五六七八九十25六七八九十甲乙丙丁戊"},
        {astral,
         "\xF0\x9F\x98\x80"
         "xxxxxxxx21xxxxxxxxxx"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Truncate(vl::ToUnicodeW(c.text), c.text), c.expectedInput);
        std::string translation;
        std::string error;
        ASSERT_TRUE(Translator::TranslateOnceYoudao(0, c.text, 2, translation, error)) << error;
        const auto form = vl::test::ParseForm(server_.Requests().back().body);
        EXPECT_EQ(form[0].second, c.text);
        EXPECT_EQ(form[6].second, vl::test::Sha256HexEvp(std::string(kKey) + c.expectedInput +
                                                         form[4].second + form[7].second + kSecret))
            << c.text;
    }
}

TEST_F(YoudaoTranslateTest, BatchSendsOneQueryAndDistributesPiecesByPosition) {
    Answer(200, R"({"errorCode":"0","translation":["A\n\nC\nextra"]})");
    std::vector<TranslateLine> lines(4);
    const char* texts[] = {"a", "", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        lines[i].lang = 3;
        lines[i].dstLang = 0;
        lines[i].text = texts[i];
    }
    TranslateTask task;
    Translator translator;
    ASSERT_TRUE(translator.TranslateYoudao(task, lines));
    EXPECT_EQ(vl::test::ParseForm(server_.Requests().back().body)[0].second, "a\n\nc\nd\n");
    EXPECT_EQ(lines[0].translation, u"A");
    EXPECT_EQ(lines[1].translation, u"");
    EXPECT_EQ(lines[2].translation, u"C");
    EXPECT_EQ(lines[3].translation, u"extra");

    Answer(200, R"({"errorCode":"0","translation":["\u4e00\n\u4e8c"]})");
    std::vector<TranslateLine> three(3);
    for (auto& l : three)
        l.text = "x";
    ASSERT_TRUE(translator.TranslateYoudao(task, three));
    EXPECT_EQ(three[0].translation, u"一");
    EXPECT_EQ(three[1].translation, u"二");
    EXPECT_EQ(three[2].translation, u"");
    EXPECT_EQ(task.transErrInfo, "");
}

TEST_F(YoudaoTranslateTest, BatchFailureKeepsLinesEmptyAndRecordsReason) {
    Answer(500, "down");
    std::vector<TranslateLine> lines(2);
    lines[0].text = "a";
    lines[1].text = "b";
    TranslateTask task;
    Translator translator;
    EXPECT_FALSE(translator.TranslateYoudao(task, lines));
    EXPECT_EQ(task.transErrInfo, "translate request failed response code 500, down");
    EXPECT_TRUE(LogCapture::Get()->Has("TranslateOnceYoudao failed for \"a\nb\n\""));
    EXPECT_EQ(lines[0].translation, u"");
}

TEST_F(YoudaoTranslateTest, EveryAnswerFailureHasItsText) {
    EXPECT_EQ(Fail(500, "B"), "translate request failed response code 500, B");
    EXPECT_TRUE(
        LogCapture::Get()->Has("translate request failed response code 500, response msg B"));

    const std::string notJson = "not json";
    EXPECT_EQ(Fail(200, notJson).rfind("parse json failed, error ", 0), 0u);

    const std::string noTranslation = R"({"errorCode":"108"})";
    EXPECT_EQ(Fail(200, noTranslation),
              "response do not contains \"errorCode\" or \"translation\", " + noTranslation);
    EXPECT_EQ(Fail(200, "[1]"), "response do not contains \"errorCode\" or \"translation\", [1]");

    const std::string numberCode = R"({"errorCode":0,"translation":["x"]})";
    EXPECT_EQ(Fail(200, numberCode), "response \"errorCode\" is not a string, " + numberCode);

    const std::string badCode = R"({"errorCode":"202","translation":["x"]})";
    EXPECT_EQ(Fail(200, badCode), "response failed with 202, " + badCode);
    const std::string wordCode = R"({"errorCode":"zero","translation":["x"]})";
    EXPECT_EQ(Fail(200, wordCode), "response failed with zero, " + wordCode);

    const std::string emptyList = R"({"errorCode":"0","translation":[]})";
    EXPECT_EQ(Fail(200, emptyList), "response \"translation\" is not an array, " + emptyList);
    const std::string notList = R"({"errorCode":"0","translation":"x"})";
    EXPECT_EQ(Fail(200, notList), "response \"translation\" is not an array, " + notList);

    const std::string notString = R"({"errorCode":"0","translation":[1]})";
    EXPECT_EQ(Fail(200, notString),
              "response \"translation\" index 0 is not a string, " + notString);
}

TEST_F(YoudaoTranslateTest, LanguagesAndEmptyTextAreCheckedBeforeSending) {
    std::string translation;
    std::string error;
    EXPECT_TRUE(Translator::TranslateOnceYoudao(0, "", 2, translation, error));
    EXPECT_TRUE(LogCapture::Get()->Has("source string is empty"));
    EXPECT_FALSE(Translator::TranslateOnceYoudao(9, "x", 2, translation, error));
    EXPECT_EQ(error, "src lang 9 is not supported");
    EXPECT_FALSE(Translator::TranslateOnceYoudao(-1, "x", 2, translation, error));
    EXPECT_EQ(error, "src lang -1 is not supported");
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "x", 9, translation, error));
    EXPECT_EQ(error, "dst lang 9 is not supported");
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(YoudaoTranslateTest, UnreachableServiceIsAPerformFailure) {
    const int port = server_.Port();
    server_.Stop();
    vl::ServiceConfig config = vl::Services();
    config.youdaoTranslate.url = "http://127.0.0.1:" + std::to_string(port) + "/api";
    vl::SetServices(config);
    std::string translation;
    std::string error;
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "x", 2, translation, error));
    EXPECT_EQ(error, "curl_easy_perform failed with 7");
}

TEST(YoudaoTranslateTls, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
    LoopbackServer server(dir.File("cert.pem"), dir.File("key.pem"));
    server.Post("/api", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"errorCode":"0","translation":["leaked"]})", "application/json");
    });
    server.Start();
    vl::ServiceConfig config;
    config.youdaoTranslate.url = server.Url("/api");
    vl::SetServices(config);
    std::string translation;
    std::string error;
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "secret text", 2, translation, error));
    EXPECT_EQ(error, "curl_easy_perform failed with 60");
    EXPECT_EQ(translation, "");
    EXPECT_EQ(server.RequestCount(), 0u);
}
