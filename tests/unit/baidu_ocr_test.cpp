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
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target,
              "/oauth/2.0/token?client_id=api-key&client_secret=secret-key&"
              "grant_type=client_credentials&");
    const auto& post = requests[1];
    EXPECT_EQ(
        post.target,
        "/rest/2.0/ocr/v1/general?access_token=24.tok%2Fen%2B1&aipSdk=C&aipSdkVersion=0.3.3&");
    EXPECT_EQ(post.Header("authorization"), "");
    EXPECT_EQ(post.Header("x-bce-date"), "");
    EXPECT_EQ(post.Header("Content-Type"), "application/x-www-form-urlencoded");

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
    EXPECT_NE(post.body.find("image=" + std::string("%2F9j%2F4")), std::string::npos) << post.body;

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(task.logId, "1684");
    EXPECT_EQ(task.ocrErrInfo, "");
    EXPECT_EQ(lines[0].text, "hello");
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{10, 20, 110, 50}));
    EXPECT_EQ(lines[0].points[1], (TranslatePoint{110, 20}));
    EXPECT_EQ(lines[0].points[3], (TranslatePoint{10, 50}));
    EXPECT_EQ(lines[1].text, "世界");
    for (const auto& line : lines) {
        EXPECT_EQ(line.lang, 3u);
        EXPECT_EQ(line.dstLang, 0u);
        EXPECT_FALSE(line.vertical);
        EXPECT_TRUE(line.translation.empty());
    }
}

TEST_F(BaiduOcrTest, OtherScopesSignTheRequestWithBce) {
    Scope("public vis-ocr");
    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(Run(task, lines)) << LogCapture::Get()->Dump();
    const auto post = Recognition();
    EXPECT_EQ(post.target, "/rest/2.0/ocr/v1/general?aipSdk=C&aipSdkVersion=0.3.3&");

    const std::string date = post.Header("x-bce-date");
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    ASSERT_EQ(date.size(), shape.size()) << date;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        ASSERT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(date[i])) != 0
                                    : date[i] == shape[i])
            << date;
    }
    std::tm tm{};
    strptime(date.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
    EXPECT_LE(std::llabs(static_cast<long long>(timegm(&tm) - before)), 5);

    const std::string host = "127.0.0.1:" + std::to_string(server_.Port());
    EXPECT_EQ(post.Header("Host"), host);

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

    const auto form = vl::test::ParseForm(post.body.substr(0, post.body.size() - 1));
    EXPECT_EQ(form[3], (std::pair<std::string, std::string>{"language_type", "CHN_ENG"}));
}

TEST_F(BaiduOcrTest, FailedTokenRequestFallsBackToBce) {
    tokenAnswer_ = "<html>gateway error</html>";
    TranslateTask task = Task(8);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(Run(task, lines));
    EXPECT_NE(Recognition().Header("authorization"), "");
    EXPECT_EQ(vl::test::ParseForm(Recognition().body)[3].second, "RUS");

    // An unreachable token endpoint: the transfer error is not taken for a token either.
    server_.Stop();
    LoopbackServer recognition;
    recognition.Post("/general", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"log_id":5,"words_result":[]})", "application/json");
    });
    recognition.Start();
    vl::ServiceConfig config = vl::Services();
    config.baiduOcr.generalUrl = recognition.Url("/general");
    vl::SetServices(config);
    TranslateTask second = Task(1);
    ASSERT_TRUE(Run(second, lines));
    ASSERT_EQ(recognition.RequestCount(), 1u);
    EXPECT_NE(recognition.Requests()[0].Header("authorization"), "");
    EXPECT_EQ(recognition.Requests()[0].target, "/general?aipSdk=C&aipSdkVersion=0.3.3&");
}

TEST_F(BaiduOcrTest, EveryCallFetchesItsOwnTokenAndChecksTheLanguage) {
    Scope("brain_all_scope");
    std::vector<TranslateLine> lines;
    for (std::uint32_t src : {0u, 1u, 2u}) {
        TranslateTask task = Task(src);
        ASSERT_TRUE(Run(task, lines));
        EXPECT_EQ(vl::test::ParseForm(server_.Requests().back().body)[3].second, "CHN_ENG");
    }
    EXPECT_EQ(server_.RequestCount(), 6u);

    TranslateTask bad = Task(9);
    lines.clear();
    EXPECT_FALSE(Run(bad, lines));
    EXPECT_TRUE(LogCapture::Get()->Has("src lang 9 is not supported"));
    EXPECT_EQ(server_.RequestCount(), 6u);
}

TEST_F(BaiduOcrTest, AnswerFaultsEndUpInOcrErrInfo) {
    Scope("brain_all_scope");
    struct Case {
        std::string answer;
        std::string errInfo;  // before ", " + the styled answer
        std::string log;
    };
    const std::string noLog = R"({"error_code":110,"error_msg":"Access token invalid"})";
    const Case cases[] = {
        {noLog, "ocr : result json is invalid, no \"log_id\"",
         "result json is invalid, no \"log_id\""},
        {R"({"log_id":7})", "ocr : result json is invalid, no \"words_result\"",
         "result json is invalid, no \"words_result\""},
        {R"({"log_id":7,"words_result":{}})",
         "ocr : result json is invalid, \"words_result\" is not an array",
         "result json is invalid, \"words_result\" is not an array, "},
        {R"([1,2])", "ocr : result json is invalid, no \"log_id\"",
         "result json is invalid, no \"log_id\""},
    };
    for (const Case& c : cases) {
        answer_ = c.answer;
        LogCapture::Get()->Clear();
        TranslateTask task = Task(0);
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(Run(task, lines)) << c.answer;
        EXPECT_EQ(task.ocrErrInfo, c.errInfo + ", " + Styled(c.answer));
        EXPECT_TRUE(LogCapture::Get()->Has(c.log)) << LogCapture::Get()->Dump();
        EXPECT_TRUE(LogCapture::Get()->Has(Styled(c.answer)));
        EXPECT_TRUE(lines.empty());
    }

    // A body that is not JSON reads as null.
    answer_ = "Service Unavailable";
    status_ = 503;
    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    EXPECT_FALSE(Run(task, lines));
    EXPECT_EQ(task.ocrErrInfo, "ocr : result json is invalid, no \"log_id\", null\n");

    // log_id as a number is kept in decimal; other types leave logId alone.
    status_ = 200;
    answer_ = R"({"log_id":123,"words_result":[]})";
    task = Task(0);
    EXPECT_TRUE(Run(task, lines));
    EXPECT_EQ(task.logId, "123");
    EXPECT_EQ(task.ocrErrInfo, "");
    EXPECT_TRUE(lines.empty());
    answer_ = R"({"log_id":[1],"words_result":[]})";
    task = Task(0);
    task.logId = "kept";
    EXPECT_TRUE(Run(task, lines));
    EXPECT_EQ(task.logId, "kept");
}

TEST_F(BaiduOcrTest, BadElementsFailTheCallButTheOthersAreStillRead) {
    Scope("brain_all_scope");
    const std::string threeVertexes =
        R"({"log_id":1,"words_result":[)"
        R"({"words":"a","location":{"left":1,"top":1,"width":1,"height":1},"vertexes_location":[{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]},)"
        R"({"words":"b","location":{"left":1,"top":1,"width":1,"height":1},"vertexes_location":[{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]},)"
        R"({"words":"c","location":{"left":1,"top":1,"width":1,"height":1},"vertexes_location":[{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]},)"
        R"({"words":7}]})";
    answer_ = threeVertexes;
    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    EXPECT_FALSE(Run(task, lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "a");
    EXPECT_EQ(lines[1].text, "c");
    EXPECT_TRUE(LogCapture::Get()->Has("\"vertexex_location\" size not equal 4"));
    EXPECT_TRUE(LogCapture::Get()->Contains("parse result with index 1 failed, json is {"));
    EXPECT_TRUE(LogCapture::Get()->Contains("parse result with index 3 failed, json is {"));
    EXPECT_EQ(task.ocrErrInfo, "ocr : parse result with index 1 failed, " + Styled(threeVertexes));

    // An element that is not an object stops the reading at once.
    const std::string notObject =
        R"({"log_id":1,"words_result":[{"words":"a","location":{"left":1,"top":1,"width":1,"height":1},)"
        R"("vertexes_location":[{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]},"x",{}]})";
    answer_ = notObject;
    task = Task(0);
    lines.clear();
    EXPECT_FALSE(Run(task, lines));
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_TRUE(LogCapture::Get()->Has("index 1 is not an object"));
    EXPECT_FALSE(LogCapture::Get()->Contains("index 2"));
    EXPECT_EQ(task.ocrErrInfo, "ocr : index 1 is not an object, " + Styled(notObject));
}

TEST(BaiduOcrElement, ChecksComeInOrderAndEachHasItsText) {
    const std::string vertexes = R"([{"x":1,"y":2},{"x":3,"y":4},{"x":5,"y":6},{"x":7,"y":8}])";
    const std::string location = R"({"left":10,"top":20,"width":100,"height":30})";
    struct Case {
        std::string element;
        std::string log;
    };
    const Case cases[] = {
        {R"({"location":1,"vertexes_location":1})", "no \"words\""},
        {R"({"words":1,"vertexes_location":1})", "no \"location\""},
        {R"({"words":1,"location":1})", "no \"vertexes_location\""},
        {R"({"words":1,"location":1,"vertexes_location":1})", "\"words\" is not a string"},
        {R"({"words":"w","location":[],"vertexes_location":1})", "\"location\" is not an object"},
        {R"({"words":"w","location":{},"vertexes_location":{}})",
         "\"vertexes_location\" is not an array"},
        {R"({"words":"w","location":{"top":1,"width":1,"height":1},"vertexes_location":[]})",
         "no \"left\""},
        {R"({"words":"w","location":{"left":1,"width":1,"height":1},"vertexes_location":[]})",
         "no \"top\""},
        {R"({"words":"w","location":{"left":1,"top":1,"height":1},"vertexes_location":[]})",
         "no \"width\""},
        {R"({"words":"w","location":{"left":1,"top":1,"width":1},"vertexes_location":[]})",
         "no \"height\""},
        {R"({"words":"w","location":{"left":"1","top":1,"width":1,"height":1},"vertexes_location":[]})",
         "\"left\" is not an integer"},
        {R"({"words":"w","location":)" + location + R"(,"vertexes_location":[1,2,3,4,5]})",
         "\"vertexex_location\" size not equal 4"},
        {R"({"words":"w","location":)" + location +
             R"(,"vertexes_location":[{"x":1,"y":1},2,3,4]})",
         "index 1 is not an object"},
        {R"({"words":"w","location":)" + location +
             R"(,"vertexes_location":[{"x":1,"y":1},{"x":1,"y":1},{"y":1},{}]})",
         "index 2 has no member \"x\""},
        {R"({"words":"w","location":)" + location +
             R"(,"vertexes_location":[{"x":1},{"x":1,"y":1},{"y":1},{}]})",
         "index 0 has no member \"y\""},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        TranslateLine line;
        EXPECT_FALSE(Translator::ParseOCROnceBaidu(ParseJson(c.element), line)) << c.element;
        EXPECT_TRUE(LogCapture::Get()->Has(c.log)) << c.element << "\n"
                                                   << LogCapture::Get()->Dump();
    }

    // Text and box are filled as soon as their checks pass.
    TranslateLine partial;
    EXPECT_FALSE(Translator::ParseOCROnceBaidu(
        ParseJson(R"({"words":"w","location":)" + location + R"(,"vertexes_location":[]})"),
        partial));
    EXPECT_EQ(partial.text, "w");
    EXPECT_EQ(partial.rect, (std::array<std::int32_t, 4>{10, 20, 110, 50}));

    TranslateLine full;
    ASSERT_TRUE(
        Translator::ParseOCROnceBaidu(ParseJson(R"({"words":"w","location":)" + location +
                                                R"(,"vertexes_location":)" + vertexes + "}"),
                                      full));
    EXPECT_EQ(full.points[0], (TranslatePoint{1, 2}));
    EXPECT_EQ(full.points[3], (TranslatePoint{7, 8}));
}

TEST(BaiduOcrTls, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
    LoopbackServer server(dir.File("cert.pem"), dir.File("key.pem"));
    server.Get("/token", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"access_token":"t","scope":"brain_all_scope"})", "application/json");
    });
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
    EXPECT_FALSE(translator.OCRBaidu(task, lines));
    EXPECT_EQ(task.ocrErrInfo, "ocr : result json is invalid, no \"log_id\", " +
                                   Styled(R"({"curl_error_code":60})"));
    EXPECT_EQ(server.RequestCount(), 0u);
}
