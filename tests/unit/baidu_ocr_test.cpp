#include <curl/curl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <openssl/evp.h>

#include <chrono>
#include <ctime>

#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_cert.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;

namespace {

constexpr const char* kApiKey = "api-key";
constexpr const char* kSecretKey = "secret-key";
constexpr const char* kToken = "24.tok/en+1";

std::string Base64Evp(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

Json::Value ParseJson(const std::string& text) {
    Json::Value v;
    std::istringstream in(text);
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &v, &errors)) << text;
    return v;
}

std::string Styled(const std::string& text) {
    return ParseJson(text).toStyledString();
}

const std::string kTwoLines =
    R"({"log_id":"1684","words_result_num":2,"words_result":[)"
    R"({"words":"hello","location":{"left":10,"top":20,"width":100,"height":30},)"
    R"("vertexes_location":[{"x":10,"y":20},{"x":110,"y":20},{"x":110,"y":50},{"x":10,"y":50}]},)"
    R"({"words":"世界","location":{"left":1,"top":2,"width":3,"height":4},)"
    R"("vertexes_location":[{"x":1,"y":2},{"x":4,"y":2},{"x":4,"y":6},{"x":1,"y":6}]}]})";

// Loopback stand-ins for the token and recognition endpoints.
class BaiduOcrTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Get("/oauth/2.0/token", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(tokenAnswer_, "application/json");
        });
        server_.Post("/rest/2.0/ocr/v1/general",
                     [this](const httplib::Request&, httplib::Response& res) {
                         res.status = status_;
                         res.set_content(answer_, "application/json");
                     });
        server_.Start();
        vl::ServiceConfig config;
        config.baiduOcr.tokenUrl = server_.Url("/oauth/2.0/token");
        config.baiduOcr.generalUrl = server_.Url("/rest/2.0/ocr/v1/general");
        config.baiduOcr.apiKey = kApiKey;
        config.baiduOcr.secretKey = kSecretKey;
        vl::SetServices(config);
        LogCapture::Get()->Clear();
    }

    void Scope(const std::string& scope) {
        tokenAnswer_ = std::string(R"({"access_token":")") + kToken +
                       R"(","expires_in":2592000,"scope":")" + scope + R"("})";
    }

    bool Run(TranslateTask& task, std::vector<TranslateLine>& lines) {
        Translator translator;
        return translator.OCRBaidu(task, lines);
    }

    LoopbackServer::Request Recognition() {
        for (const auto& r : server_.Requests()) {
            if (r.path == "/rest/2.0/ocr/v1/general")
                return r;
        }
        ADD_FAILURE() << "no recognition request";
        return {};
    }

    std::string tokenAnswer_;
    int status_ = 200;
    std::string answer_ = kTwoLines;
    LoopbackServer server_;  // last: stopped before the state its handlers read goes away
};

TranslateTask Task(std::uint32_t src, std::string image = "\xFF\xD8\xFF\xE0 jpeg bytes \xFB\xFF") {
    TranslateTask task;
    task.id = 1;
    task.srcLang = src;
    task.dstLang = 0;
    task.image = std::move(image);
    return task;
}

}  // namespace

TEST_F(BaiduOcrTest, TokenScopeWithAiAccessSendsTheTokenInTheQuery) {
    Scope("public brain_all_scope vis-ocr");
    TranslateTask task = Task(3);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target,
              "/oauth/2.0/token?client_id=api-key&client_secret=secret-key&"
              "grant_type=client_credentials&");
    const auto& post = requests[1];
    EXPECT_EQ(
        post.target,
        "/rest/2.0/ocr/v1/general?access_token=24.tok%2Fen%2B1&aipSdk=C&aipSdkVersion=0.3.3&");
    EXPECT_EQ(post.Header("authorization"), "");

    // Fields in key order, each escaped, the last one followed by "&" too.
    EXPECT_EQ(post.body.back(), '&');
    const auto form = vl::test::ParseForm(post.body.substr(0, post.body.size() - 1));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"detect_direction", "true"},
        {"detect_language", "false"},
        {"image", Base64Evp(task.image)},
        {"language_type", "JAP"},
        {"paragraph", "true"},
        {"probability", "true"},
        {"recognize_granularity", "big"},
        {"vertexes_location", "true"}};
    EXPECT_EQ(form, expected);

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(task.logId, "1684");
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{10, 20, 110, 50}));
    EXPECT_EQ(lines[0].points[3], (TranslatePoint{10, 50}));
    EXPECT_EQ(lines[1].text, "世界");
    EXPECT_EQ(lines[1].lang, 3u);
}

TEST_F(BaiduOcrTest, OtherScopesSignTheRequestWithBce) {
    Scope("public vis-ocr");
    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();
    const auto post = Recognition();
    EXPECT_EQ(post.target, "/rest/2.0/ocr/v1/general?aipSdk=C&aipSdkVersion=0.3.3&");
    const std::string date = post.Header("x-bce-date");
    ASSERT_EQ(date.size(), 20u) << date;
    EXPECT_EQ(post.Header("Host"), "127.0.0.1:" + std::to_string(server_.Port()));

    // The authentication string, computed here from its definition.
    std::string encodedDate = date;
    for (std::size_t p; (p = encodedDate.find(':')) != std::string::npos;) {
        encodedDate.replace(p, 1, "%3A");
    }
    const std::string prefix = std::string("bce-auth-v1/") + kApiKey + "/" + date + "/1800";
    const std::string signingKey = vl::test::HmacSha256HexEvp(kSecretKey, prefix);
    const std::string canonical =
        "POST\n/rest/2.0/ocr/v1/general\naipSdk=C&aipSdkVersion=0.3.3\n"
        "host:127.0.0.1%3A" +
        std::to_string(server_.Port()) + "\nx-bce-date:" + encodedDate;
    EXPECT_EQ(post.Header("authorization"),
              prefix + "/host;x-bce-date/" + vl::test::HmacSha256HexEvp(signingKey, canonical));
}

TEST_F(BaiduOcrTest, FailedTokenRequestFallsBackToBce) {
    tokenAnswer_ = "<html>gateway error</html>";
    TranslateTask task = Task(8);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines));
    EXPECT_NE(Recognition().Header("authorization"), "");
    EXPECT_EQ(vl::test::ParseForm(Recognition().body)[3].second, "RUS");
}

// One case per class of failure (the transport's is the certificate test below): each checks
// the result, the text the report carries and one log line.
TEST_F(BaiduOcrTest, EachClassOfAnswerFaultEndsUpInOcrErrInfo) {
    Scope("brain_all_scope");
    const std::string badElement =
        R"({"log_id":1,"words_result":[)"
        R"({"words":"a","location":{"left":1,"top":1,"width":1,"height":1},"vertexes_location":[{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]},)"
        R"({"words":"b","location":{"left":1,"top":1,"width":1,"height":1},"vertexes_location":[{"x":0,"y":0}]}]})";
    struct Case {
        std::string answer;
        std::string errInfo;
        std::string log;
        std::size_t lines;
    };
    const Case cases[] = {
        {"Service Unavailable", "ocr : result json is invalid, no \"log_id\", null\n",
         "result json is invalid, no \"log_id\"", 0},
        {R"({"error_code":110})",
         "ocr : result json is invalid, no \"log_id\", " + Styled(R"({"error_code":110})"),
         "result json is invalid, no \"log_id\"", 0},
        // A bad element fails the call, but the others are still read.
        {badElement, "ocr : parse result with index 1 failed, " + Styled(badElement),
         "\"vertexex_location\" size not equal 4", 1},
    };
    for (const Case& c : cases) {
        answer_ = c.answer;
        LogCapture::Get()->Clear();
        TranslateTask task = Task(0);
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(Run(task, lines)) << c.answer;
        EXPECT_EQ(task.ocrErrInfo, c.errInfo);
        EXPECT_TRUE(LogCapture::Get()->Has(c.log)) << LogCapture::Get()->Dump();
        EXPECT_EQ(lines.size(), c.lines);
    }
}

// A transfer failure is reported as such, not as an answer without "log_id".
TEST(BaiduOcrTls, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
    LoopbackServer server(dir.File("cert.pem"), dir.File("key.pem"));
    server.Post("/general", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"log_id":1,"words_result":[]})", "application/json");
    });
    server.Start();
    vl::ServiceConfig config;
    config.baiduOcr.tokenUrl = server.Url("/token");
    config.baiduOcr.generalUrl = server.Url("/general");
    vl::SetServices(config);

    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    Translator translator;
    LogCapture::Get()->Clear();
    EXPECT_FALSE(translator.OCRBaidu(task, lines));
    const std::string reason = curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_EQ(task.ocrErrInfo, "ocr : request failed, " + reason);
    EXPECT_TRUE(LogCapture::Get()->Has("request ocr baidu failed, " + reason));
    EXPECT_EQ(server.RequestCount(), 0u);
}
