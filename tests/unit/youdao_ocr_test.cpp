#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>

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
    TranslateTask task = Task(image);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();

    const auto request = server_.Requests().back();
    // '+', '/' and '=' of the Base64 text travel percent-encoded.
    EXPECT_EQ(request.body.rfind("img=%2F9j%2F4", 0), 0u);
    const auto form = vl::test::ParseForm(request.body);
    const char* order[] = {"img",  "langType", "detectType", "imageType", "appKey",
                           "salt", "signType", "sign",       "docType",   "curtime"};
    ASSERT_EQ(form.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(form[i].first, order[i]);
    const std::string img = Base64Evp(image);
    EXPECT_EQ(form[0].second, img);
    EXPECT_EQ(form[1].second, "ja");
    const std::string input =
        img.substr(0, 10) + std::to_string(img.size()) + img.substr(img.size() - 10);
    EXPECT_EQ(form[7].second,
              vl::test::Sha256HexEvp(kKey + input + form[5].second + form[9].second + kSecret));
}

TEST_F(YoudaoOcrTest, ReadsRegionsAndLinesInOrder) {
    answer_ = R"({"errorCode":"0","Result":{"regions":[)"
              R"({"dir":"v","lang":"en","lines":[)" +
              Line("one", "10,20,110,20,110,50,10,50") + R"(]},{"lang":"xx","lines":[)" +
              Line("three", " 12abc, -3,x,0,40,60,0,9,extra") + "," + Line("bad", "1,2,3") +
              R"(]}]}})";
    TranslateTask task = Task("img");
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].vertical);
    EXPECT_EQ(lines[0].lang, 2u);
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{12, 22, 108, 48}));
    // atol reading: leading spaces and sign, digits up to the first non-digit, 0 for none.
    EXPECT_EQ(lines[1].points,
              (std::array<TranslatePoint, 4>{{{12, -3}, {0, 0}, {40, 60}, {0, 9}}}));
    EXPECT_FALSE(lines[1].vertical);
    // An unusable line is skipped and named.
    EXPECT_EQ(task.ocrErrInfo,
              "parse line failed, " + std::string(R"({"boundingBox":"1,2,3","text":"bad"})"));
}

// One case per class of failure: transport, not JSON, bad envelope, bad element.
TEST_F(YoudaoOcrTest, EachClassOfAnswerFaultHasItsLogLine) {
    const std::string badLine = R"({"errorCode":"0","Result":{"regions":[{"lines":["text"]}]}})";
    const std::tuple<int, std::string, std::string> cases[] = {
        {500, "busy", "request ocr youdao failed, msg response error, code 500, resp busy"},
        {200, "{oops", "parse json failed with exception, byte 2, id 101, "},
        {200, R"({"errorCode":"202"})", "request ocr youdao failed, code 202"},
        {200, badLine, "parse json failed with exception, json is \r\n" + badLine},
    };
    for (const auto& [status, body, log] : cases) {
        status_ = status;
        answer_ = body;
        LogCapture::Get()->Clear();
        TranslateTask task = Task("img");
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(Run(task, lines)) << body;
        EXPECT_TRUE(LogCapture::Get()->Contains(log)) << body << "\n" << LogCapture::Get()->Dump();
    }
}

// A deeply nested error code once crashed the process while it was written to the log; a huge
// number once escaped the reader as an exception.
TEST_F(YoudaoOcrTest, HostileAnswersFailCleanly) {
    const std::string deep =
        R"({"errorCode":)" + std::string(200000, '[') + std::string(200000, ']') + "}";
    for (const std::string& body : {deep, std::string(R"({"errorCode":"0","x":1e400})")}) {
        answer_ = body;
        LogCapture::Get()->Clear();
        TranslateTask task = Task("img");
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(Run(task, lines));
        EXPECT_TRUE(LogCapture::Get()->Contains("parse json failed with exception, json is"));
        for (const auto& entry : LogCapture::Get()->Entries())
            EXPECT_LT(entry.message.size(), 2000u);  // an excerpt, not the whole answer
    }
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
