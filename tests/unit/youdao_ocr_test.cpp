#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>

#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_http.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;

namespace {

constexpr const char* kKey = "ocrkey0123456789";
constexpr const char* kSecret = "ocrsecret";

std::string Base64Evp(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Line(const std::string& text, const std::string& box) {
    return R"({"text":")" + text + R"(","boundingBox":")" + box + R"("})";
}

// A loopback stand-in for the OCR service answering every POST /ocrapi with a scripted body.
class YoudaoOcrTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Post("/ocrapi", [this](const httplib::Request&, httplib::Response& res) {
            res.status = status_;
            res.set_content(answer_, "application/json");
        });
        server_.Start();
        vl::ServiceConfig config;
        config.youdaoOcr.url = server_.Url("/ocrapi");
        config.youdaoOcr.appKey = kKey;
        config.youdaoOcr.appSecret = kSecret;
        vl::SetServices(config);
        LogCapture::Get()->Clear();
    }

    bool Run(TranslateTask& task, std::vector<TranslateLine>& lines) {
        Translator translator;
        return translator.OCRYoudao(task, lines);
    }

    std::vector<std::pair<std::string, std::string>> LastForm() {
        return vl::test::ParseForm(server_.Requests().back().body);
    }

    int status_ = 200;
    std::string answer_ = R"({"errorCode":"0","Result":{"regions":[]}})";
    LoopbackServer server_;  // last: stopped before the state its handlers read goes away
};

TranslateTask Task(std::string image, std::uint32_t src = 3) {
    TranslateTask task;
    task.srcLang = src;
    task.dstLang = 1;
    task.image = std::move(image);
    return task;
}

}  // namespace

TEST_F(YoudaoOcrTest, SendsTheSignedFormInFieldOrder) {
    std::string image = "\xFF\xD8\xFF\xE0";
    for (int i = 0; i < 300; ++i)
        image.push_back(static_cast<char>(i * 7));
    image += "\xFB\xFF";
    TranslateTask task = Task(image);
    std::vector<TranslateLine> lines;
    const auto before = std::chrono::system_clock::now();
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();

    const auto request = server_.Requests().back();
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    const std::string img = Base64Evp(image);
    ASSERT_NE(img.find('+'), std::string::npos);
    ASSERT_NE(img.find('/'), std::string::npos);
    // '+', '/' and '=' of the Base64 text travel percent-encoded.
    const std::string sent = request.body.substr(4, request.body.find("&langType=") - 4);
    EXPECT_EQ(sent.find_first_of("+/="), std::string::npos) << sent;
    EXPECT_EQ(request.body.rfind("img=%2F9j%2F4", 0), 0u);

    const auto form = vl::test::ParseForm(request.body);
    const char* order[] = {"img",  "langType", "detectType", "imageType", "appKey",
                           "salt", "signType", "sign",       "docType",   "curtime"};
    ASSERT_EQ(form.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(form[i].first, order[i]);
    EXPECT_EQ(form[0].second, img);
    EXPECT_EQ(form[1].second, "ja");
    EXPECT_EQ(form[2].second, "10012");
    EXPECT_EQ(form[3].second, "1");
    EXPECT_EQ(form[4].second, kKey);
    EXPECT_TRUE(std::all_of(form[5].second.begin(), form[5].second.end(),
                            [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }));
    EXPECT_EQ(form[5].second.size(), 32u);
    EXPECT_EQ(form[6].second, "v3");
    EXPECT_EQ(form[8].second, "json");
    const long long now =
        std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count();
    EXPECT_LE(std::llabs(std::stoll(form[9].second) - now), 5);
    const std::string input =
        img.substr(0, 10) + std::to_string(img.size()) + img.substr(img.size() - 10);
    EXPECT_EQ(form[7].second,
              vl::test::Sha256HexEvp(kKey + input + form[5].second + form[9].second + kSecret));
    EXPECT_EQ(request.body.find(kSecret), std::string::npos);
}

TEST_F(YoudaoOcrTest, ShortImagesAreSignedWhole) {
    // 15 bytes give 20 Base64 characters, signed as they are; 16 bytes give 24, cut.
    for (const std::size_t size : {1u, 15u, 16u}) {
        TranslateTask task = Task(std::string(size, '\x9C'), 0);
        std::vector<TranslateLine> lines;
        ASSERT_TRUE(Run(task, lines));
        const auto form = LastForm();
        const std::string img = Base64Evp(task.image);
        const std::string input =
            img.size() <= 20
                ? img
                : img.substr(0, 10) + std::to_string(img.size()) + img.substr(img.size() - 10);
        EXPECT_EQ(form[1].second, "zh-CHS");
        EXPECT_EQ(form[7].second,
                  vl::test::Sha256HexEvp(kKey + input + form[5].second + form[9].second + kSecret))
            << size;
    }
}

TEST_F(YoudaoOcrTest, ReadsRegionsAndLinesInOrder) {
    answer_ = R"({"errorCode":"0","Result":{"orientation":"UP","regions":[)"
              R"({"dir":"v","lang":"en","lines":[)" +
              Line("one", "10,20,110,20,110,50,10,50") + "," + Line("two", "1,2,3,4,5,6,7,8") +
              R"(]},{"lang":"xx","lines":[)" + Line("three", " 12abc, -3,x,0,40,60,0,9,extra") +
              "," + Line("四", "0,0,0,0,0,0,0,0") + R"(]},{"dir":"h","lang":"ko","lines":[]}]}})";
    TranslateTask task = Task("img");
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();
    ASSERT_EQ(lines.size(), 4u);
    const char* texts[] = {"one", "two", "three", "四"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].text, texts[i]);
        EXPECT_EQ(lines[i].vertical, i < 2);
        EXPECT_EQ(lines[i].lang, i < 2 ? 2u : 0u);
        EXPECT_EQ(lines[i].dstLang, 1u);
    }
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{12, 22, 108, 48}));
    EXPECT_EQ(lines[0].points,
              (std::array<TranslatePoint, 4>{{{10, 20}, {110, 20}, {110, 50}, {10, 50}}}));
    // atol reading: leading spaces and sign, digits up to the first non-digit, 0 for none.
    EXPECT_EQ(lines[2].points,
              (std::array<TranslatePoint, 4>{{{12, -3}, {0, 0}, {40, 60}, {0, 9}}}));
    EXPECT_EQ(lines[2].rect, (std::array<std::int32_t, 4>{14, -1, 38, 58}));
    EXPECT_EQ(task.ocrErrInfo, "");

    // No "Result" or no "regions": a success with no lines.
    for (const char* body : {R"({"errorCode":"0"})", R"({"errorCode":"0","Result":{}})"}) {
        answer_ = body;
        lines.clear();
        EXPECT_TRUE(Run(task, lines)) << body;
        EXPECT_TRUE(lines.empty());
    }
}

TEST_F(YoudaoOcrTest, UnusableLinesAreSkippedAndNamed) {
    const std::string noBox = R"({"text":"x"})";
    const std::string noText = R"({"boundingBox":"1,2,3,4,5,6,7,8"})";
    const std::string seven = Line("y", "1,2,3,4,5,6,7");
    const std::string gaps = Line("z", "1,,2,3,4,5,6,7");  // empty pieces are dropped
    answer_ = R"({"errorCode":"0","Result":{"regions":[{"lang":"ja","lines":[)" + noBox + "," +
              Line("kept", "1,2,3,4,5,6,7,8") + "," + noText + "," + seven + "," + gaps +
              R"(]}]}})";
    TranslateTask task = Task("img");
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "kept");
    EXPECT_EQ(lines[0].lang, 3u);
    for (const std::string& skipped : {noBox, noText, seven, gaps}) {
        const std::string dumped = nlohmann::json::parse(skipped).dump();
        EXPECT_TRUE(LogCapture::Get()->Has("ParseOCROnceYoudao failed, \r\n" + dumped)) << dumped;
    }
    EXPECT_EQ(task.ocrErrInfo, "parse line failed, " + nlohmann::json::parse(gaps).dump());
}

TEST_F(YoudaoOcrTest, EachAnswerFaultHasItsLogText) {
    struct Case {
        int status;
        std::string body;
        std::string log;
    };
    const std::string badRegions = R"({"errorCode":"0","Result":{"regions":{}}})";
    const std::string badLang = R"({"errorCode":"0","Result":{"regions":[{"lang":2,"lines":[]}]}})";
    const std::string badLine = R"({"errorCode":"0","Result":{"regions":[{"lines":["text"]}]}})";
    const Case cases[] = {
        {500, "busy", "request ocr youdao failed, msg response error, code 500, resp busy"},
        {200, R"({"errorCode":0,"Result":{}})", "request ocr youdao failed, code 0"},
        {200, R"({"errorCode":"202"})", "request ocr youdao failed, code 202"},
        {200, R"({"Result":{}})", "request ocr youdao failed, code null"},
        {200, "[0]", "request ocr youdao failed, code null"},
        {200, badRegions, "parse json failed with exception, json is \r\n" + badRegions},
        {200, badLang, "parse json failed with exception, json is \r\n" + badLang},
        {200, badLine, "parse json failed with exception, json is \r\n" + badLine},
    };
    for (const Case& c : cases) {
        status_ = c.status;
        answer_ = c.body;
        LogCapture::Get()->Clear();
        TranslateTask task = Task("img");
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(Run(task, lines)) << c.body;
        EXPECT_TRUE(LogCapture::Get()->Has(c.log)) << c.body << "\n" << LogCapture::Get()->Dump();
        EXPECT_EQ(task.ocrErrInfo, "");
    }

    status_ = 200;
    answer_ = "{oops";
    LogCapture::Get()->Clear();
    TranslateTask task = Task("img");
    std::vector<TranslateLine> lines;
    EXPECT_FALSE(Run(task, lines));
    EXPECT_TRUE(LogCapture::Get()->Contains("parse json failed with exception, byte 2, id 101, "));
    EXPECT_TRUE(LogCapture::Get()->Contains(", json is \r\n {oops"));

    // Lines read before a wrong type stay in the list.
    answer_ = R"({"errorCode":"0","Result":{"regions":[{"lines":[)" + Line("a", "1,2,3,4,5,6,7,8") +
              R"(]},{"lines":7}]}})";
    EXPECT_FALSE(Run(task, lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "a");
}

TEST_F(YoudaoOcrTest, UnsupportedLanguageSendsNothing) {
    TranslateTask task = Task("img", 9);
    std::vector<TranslateLine> lines;
    EXPECT_FALSE(Run(task, lines));
    EXPECT_TRUE(LogCapture::Get()->Has("src lang 9 is not supported"));
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(YoudaoOcrTest, BackEndNeedLoginRuleDoesNotApply) {
    std::atomic<int> calls{0};
    vl::Http::SetNeedLoginHook([&calls] { ++calls; });
    answer_ = R"({"code":10505,"errorCode":"0"})";
    TranslateTask task = Task("img");
    std::vector<TranslateLine> lines;
    EXPECT_TRUE(Run(task, lines));
    vl::Http::SetNeedLoginHook(nullptr);
    EXPECT_EQ(calls.load(), 0);
}
