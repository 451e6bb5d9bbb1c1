// The OCR engines (Youdao, Baidu), the Youdao translation and the task thread that runs them,
// against loopback stand-ins for the three services.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <openssl/evp.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "config/config_manager.h"
#include "logic/need_login.h"
#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_cert.h"
#include "utils/vl_http.h"

using namespace std::chrono_literals;
using vl::test::LogCapture;
using vl::test::LoopbackServer;

namespace {

std::string Base64Evp(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    out.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(out.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))));
    return out;
}

std::string Styled(const std::string& text) {
    Json::Value v;
    std::string errors;
    std::unique_ptr<Json::CharReader>(Json::CharReaderBuilder().newCharReader())
        ->parse(text.data(), text.data() + text.size(), &v, &errors);
    return v.toStyledString();
}

// The signature input of the services: the text itself up to 20 units, else its first ten
// units, the unit count and its last ten units (here for ASCII text).
std::string SignInput(const std::string& ascii) {
    return ascii.size() <= 20 ? ascii
                              : ascii.substr(0, 10) + std::to_string(ascii.size()) +
                                    ascii.substr(ascii.size() - 10);
}

std::string BaiduAnswer(int lines) {
    std::string items;
    for (int i = 0; i < lines; ++i) {
        items += std::string(i > 0 ? "," : "") + R"({"words":"w)" + std::to_string(i) +
                 R"(","location":{"left":10,"top":20,"width":100,"height":30},"vertexes_location":)"
                 R"([{"x":1,"y":2},{"x":4,"y":2},{"x":4,"y":6},{"x":1,"y":6}]})";
    }
    return R"({"log_id":"1684","words_result":[)" + items + "]}";
}

std::string YoudaoLine(const std::string& text, const std::string& box) {
    return R"({"text":")" + text + R"(","boundingBox":")" + box + R"("})";
}

TranslateTask Task(std::uint32_t src, std::string image = "\xFF\xD8\xFF\xE0 jpeg \xFB\xFF") {
    TranslateTask task;
    task.id = 1;
    task.srcLang = src;
    task.image = std::move(image);
    return task;
}

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        vl::ServiceConfig config = vl::Services();
        config.baiduOcr.apiKey = "api-key";
        config.baiduOcr.secretKey = "secret-key";
        config.youdaoOcr.appKey = config.youdaoTranslate.appKey = "key0123456789";
        config.youdaoOcr.appSecret = config.youdaoTranslate.appSecret = "secret";
        vl::SetServices(config);
        Scope("brain_all_scope");
        services_.Set("/general", 200, BaiduAnswer(2));
        services_.Set("/ocrapi", 200, R"({"errorCode":"0","Result":{"regions":[]}})");
        services_.Set("/api", 200, R"({"errorCode":"0","translation":["A\nB"]})");
    }
    void Scope(const std::string& scope) {
        services_.Set(
            "/token", 200,
            R"({"access_token":"24.tok/en+1","expires_in":2592000,"scope":")" + scope + R"("})");
    }
    std::vector<std::pair<std::string, std::string>> LastForm(const std::string& path) {
        const std::string body = services_.Requests(path).back().body;
        return vl::test::ParseForm(body.back() == '&' ? body.substr(0, body.size() - 1) : body);
    }

    vl::test::VendorServices services_;
    Translator translator_;
};

}  // namespace

// ---- Youdao OCR

TEST_F(ServicesTest, YoudaoOcrSendsTheSignedFormInFieldOrder) {
    std::string image = "\xFF\xD8\xFF\xE0";
    for (int i = 0; i < 300; ++i)
        image.push_back(static_cast<char>(i * 7));
    TranslateTask task = Task(3, image);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(translator_.OCRYoudao(task, lines)) << LogCapture::Get()->Dump();
    // '+', '/' and '=' of the Base64 text travel percent-encoded.
    EXPECT_EQ(services_.Requests("/ocrapi").back().body.rfind("img=%2F9j%2F4", 0), 0u);
    const auto form = LastForm("/ocrapi");
    const char* order[] = {"img",  "langType", "detectType", "imageType", "appKey",
                           "salt", "signType", "sign",       "docType",   "curtime"};
    ASSERT_EQ(form.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(form[i].first, order[i]);
    const std::string img = Base64Evp(image);
    EXPECT_EQ(form[0].second, img);
    EXPECT_EQ(form[1].second, "ja");
    EXPECT_EQ(form[7].second, vl::test::Sha256HexEvp("key0123456789" + SignInput(img) +
                                                     form[5].second + form[9].second + "secret"));
}

// A vendor's answer is no back-end answer: its "code" 10505 signs nobody out.
TEST_F(ServicesTest, YoudaoOcrReadsRegionsAndLinesInOrder) {
    std::atomic<int> needLogin{0};
    account::SetNeedLoginHook([&needLogin] { ++needLogin; });
    services_.Set(
        "/ocrapi", 200,
        R"({"code":10505,"errorCode":"0","Result":{"regions":[{"dir":"v","lang":"en","lines":[)" +
            YoudaoLine("one", "10,20,110,20,110,50,10,50") + R"(]},{"lang":"xx","lines":[)" +
            YoudaoLine("two", " 12abc, -3,x,0,40,60,0,9,extra") + "," + YoudaoLine("bad", "1,2,3") +
            R"(]}]}})");
    TranslateTask task = Task(3);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(translator_.OCRYoudao(task, lines)) << LogCapture::Get()->Dump();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].vertical);
    EXPECT_EQ(lines[0].lang, 2u);
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{12, 22, 108, 48}));
    // atol reading: leading spaces and sign, digits up to the first non-digit, 0 for none.
    EXPECT_EQ(lines[1].points,
              (std::array<TranslatePoint, 4>{{{12, -3}, {0, 0}, {40, 60}, {0, 9}}}));
    // An unusable line is skipped and named.
    EXPECT_EQ(task.ocrErrInfo, R"(parse line failed, {"boundingBox":"1,2,3","text":"bad"})");
    vl::Http::SetAnswerCheck(nullptr);
    EXPECT_EQ(needLogin.load(), 0);
}

// One case per class of failure: transport, not JSON, bad envelope, bad element; then answers
// that once crashed the program (a deeply nested error code written to the log) or escaped the
// reader as an exception (a number no double holds).
TEST_F(ServicesTest, YoudaoOcrAnswerFaultsHaveTheirLogLines) {
    const std::string badLine = R"({"errorCode":"0","Result":{"regions":[{"lines":["text"]}]}})";
    const std::string deep =
        R"({"errorCode":)" + std::string(200000, '[') + std::string(200000, ']') + "}";
    const std::tuple<int, std::string, std::string> cases[] = {
        {500, "busy", "request ocr youdao failed, msg response error, code 500, resp busy"},
        {200, "{oops", "parse json failed with exception, byte 2, id 101, "},
        {200, R"({"errorCode":"202"})", "request ocr youdao failed, code 202"},
        {200, badLine, "parse json failed with exception, json is \r\n" + badLine},
        {200, deep, "parse json failed with exception, json is \r\n{\"errorCode\":[[["},
        {200, R"({"errorCode":"0","x":1e400})", "parse json failed with exception, json is"},
    };
    for (const auto& [status, body, log] : cases) {
        services_.Set("/ocrapi", status, body);
        LogCapture::Get()->Clear();
        TranslateTask task = Task(3);
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(translator_.OCRYoudao(task, lines)) << body.substr(0, 40);
        EXPECT_TRUE(LogCapture::Get()->Contains(log)) << LogCapture::Get()->Dump().substr(0, 2000);
        for (const auto& entry : LogCapture::Get()->Entries())
            EXPECT_LT(entry.message.size(), 2000u);  // an excerpt, not the whole answer
    }
}

// ---- Youdao translation

// Long texts are signed by their first and last ten UTF-16 units around the unit count.
TEST_F(ServicesTest, TranslationSendsASignedFormThatCountsUtf16Units) {
    const std::pair<std::string, std::string> cases[] = {
        {"a b\n", "a b\n"},
        {"一二三四五六七八九十一二三四五六七八九十甲乙丙丁戊",
         "一二三四五六七八九十25六七八九十甲乙丙丁戊"},
        {"\xF0\x9F\x98\x80" + std::string(19, 'x'), "\xF0\x9F\x98\x80xxxxxxxx21xxxxxxxxxx"},
    };
    for (const auto& [text, input] : cases) {
        std::string translation, error;
        ASSERT_TRUE(Translator::TranslateOnceYoudao(3, text, 0, translation, error)) << error;
        const auto form = LastForm("/api");
        ASSERT_EQ(form.size(), 8u);
        const char* order[] = {"q", "from", "to", "appKey", "salt", "signType", "sign", "curtime"};
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_EQ(form[i].first, order[i]);
        EXPECT_EQ(form[1].second, "ja");
        EXPECT_EQ(form[6].second, vl::test::Sha256HexEvp("key0123456789" + input + form[4].second +
                                                         form[7].second + "secret"))
            << text;
    }
    EXPECT_EQ(services_.Requests("/api")[0].body.rfind("q=a+b%0A&from=ja&to=zh-CHS&", 0), 0u);
}

// Pieces are positional (an empty line keeps its place); a piece more or less than the lines
// fails the run instead of shifting translations onto the wrong lines.
TEST_F(ServicesTest, TranslationBatchMapsPiecesOneToOne) {
    services_.Set("/api", 200, R"({"errorCode":"0","translation":["A\n\nC\nD\n"]})");
    std::vector<TranslateLine> lines(4);
    const char* texts[] = {"a", "", "c", "d"};
    for (int i = 0; i < 4; ++i)
        lines[i].text = texts[i];
    TranslateTask task;
    ASSERT_TRUE(translator_.Translate(task, lines)) << task.transErrInfo;
    EXPECT_EQ(LastForm("/api")[0].second, "a\n\nc\nd\n");
    EXPECT_EQ(task.transVendor, "youdao");
    const std::u16string expected[] = {u"A", u"", u"C", u"D"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i].translation, expected[i]);

    services_.Set("/api", 200, R"({"errorCode":"0","translation":["A\n\nC"]})");
    for (TranslateLine& line : lines)
        line.translation.clear();
    EXPECT_FALSE(translator_.Translate(task, lines));
    EXPECT_EQ(task.transErrInfo, "youdao answered 3 lines for 4 sent");
    EXPECT_EQ(lines[0].translation, u"");
}

// One case per class: status, not JSON, bad envelope, bad element; and nesting past the
// reader's own limit (where it would throw), refused first.
TEST_F(ServicesTest, TranslationAnswerFaultsHaveTheirTexts) {
    const std::string badCode = R"({"errorCode":"202","translation":["x"]})";
    const std::string notString = R"({"errorCode":"0","translation":[1]})";
    const std::string deep = R"({"errorCode":"0","translation":)" + std::string(5000, '[') +
                             std::string(5000, ']') + "}";
    const std::tuple<int, std::string, std::string> cases[] = {
        {500, "B", "translate request failed response code 500, B"},
        {200, "not json", "parse json failed, error "},
        {200, badCode, "response failed with 202, " + badCode},
        {200, notString, "response \"translation\" index 0 is not a string, " + notString},
        {200, deep, "parse json failed, error nesting deeper than 64, "},
    };
    for (const auto& [status, body, text] : cases) {
        services_.Set("/api", status, body);
        LogCapture::Get()->Clear();
        std::string translation = "stale", error;
        EXPECT_FALSE(Translator::TranslateOnceYoudao(3, "text", 0, translation, error));
        EXPECT_EQ(translation, "");
        EXPECT_EQ(error.rfind(text, 0), 0u) << error.substr(0, 200);
        EXPECT_EQ(LogCapture::Get()->Entries().size(), 1u);
    }
}

// ---- Baidu OCR

TEST_F(ServicesTest, BaiduTokenWithAiScopeGoesInTheQuery) {
    Scope("public brain_all_scope vis-ocr");
    TranslateTask task = Task(3);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(translator_.OCRBaidu(task, lines)) << LogCapture::Get()->Dump();
    EXPECT_EQ(services_.Requests("/token")[0].target,
              "/token?client_id=api-key&client_secret=secret-key&grant_type=client_credentials&");
    const auto post = services_.Requests("/general")[0];
    EXPECT_EQ(post.target, "/general?access_token=24.tok%2Fen%2B1&aipSdk=C&aipSdkVersion=0.3.3&");
    EXPECT_EQ(post.Header("authorization"), "");
    // Fields in key order, each escaped, the last one followed by "&" too.
    EXPECT_EQ(post.body.back(), '&');
    const auto form = LastForm("/general");
    std::string keys;
    for (const auto& [key, value] : form)
        keys += key + " ";
    EXPECT_EQ(keys,
              "detect_direction detect_language image language_type paragraph probability "
              "recognize_granularity vertexes_location ");
    EXPECT_EQ(form[2].second, Base64Evp(task.image));
    EXPECT_EQ(form[3].second, "JAP");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(task.logId, "1684");
    EXPECT_EQ(lines[0].rect, (std::array<std::int32_t, 4>{10, 20, 110, 50}));
    EXPECT_EQ(lines[0].points[3], (TranslatePoint{1, 6}));
    EXPECT_EQ(lines[1].lang, 3u);
}

// Other scopes, or no token at all, sign the request with BCE, computed here independently.
TEST_F(ServicesTest, BaiduWithoutAiScopeSignsWithBce) {
    services_.Set("/token", 200, "<html>gateway error</html>");
    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    ASSERT_TRUE(translator_.OCRBaidu(task, lines)) << LogCapture::Get()->Dump();
    const auto post = services_.Requests("/general")[0];
    EXPECT_EQ(post.target, "/general?aipSdk=C&aipSdkVersion=0.3.3&");
    const std::string date = post.Header("x-bce-date");
    ASSERT_EQ(date.size(), 20u) << date;
    std::string encodedDate = date;
    for (std::size_t p; (p = encodedDate.find(':')) != std::string::npos;)
        encodedDate.replace(p, 1, "%3A");
    const std::string prefix = "bce-auth-v1/api-key/" + date + "/1800";
    const std::string canonical =
        "POST\n/general\naipSdk=C&aipSdkVersion=0.3.3\nhost:127.0.0.1%3A" +
        std::to_string(services_.Port()) + "\nx-bce-date:" + encodedDate;
    EXPECT_EQ(post.Header("authorization"),
              prefix + "/host;x-bce-date/" +
                  vl::test::HmacSha256HexEvp(vl::test::HmacSha256HexEvp("secret-key", prefix),
                                             canonical));
}

// One case per class of answer fault (the transport's is the certificate test below), each
// checking the result, the text the report carries and one log line.
TEST_F(ServicesTest, BaiduAnswerFaultsEndUpInOcrErrInfo) {
    std::string badElement = BaiduAnswer(2);
    badElement.replace(badElement.rfind(R"({"x":1,"y":2},)"), 14, "");
    const std::tuple<std::string, std::string, std::string, std::size_t> cases[] = {
        {"Service Unavailable", "ocr : result json is invalid, no \"log_id\", null\n",
         "result json is invalid, no \"log_id\"", 0},
        {R"({"error_code":110})",
         "ocr : result json is invalid, no \"log_id\", " + Styled(R"({"error_code":110})"),
         "result json is invalid, no \"log_id\"", 0},
        // A bad element fails the call, but the others are still read.
        {badElement, "ocr : parse result with index 1 failed, " + Styled(badElement),
         "\"vertexex_location\" size not equal 4", 1},
    };
    for (const auto& [answer, errInfo, log, count] : cases) {
        services_.Set("/general", 200, answer);
        LogCapture::Get()->Clear();
        TranslateTask task = Task(0);
        std::vector<TranslateLine> lines;
        EXPECT_FALSE(translator_.OCRBaidu(task, lines)) << answer;
        EXPECT_EQ(task.ocrErrInfo, errInfo);
        EXPECT_TRUE(LogCapture::Get()->Has(log)) << LogCapture::Get()->Dump();
        EXPECT_EQ(lines.size(), count);
    }
}

// A refused certificate is reported as the transfer failure it is, by every client.
TEST(ServicesTls, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
    LoopbackServer server(dir.File("cert.pem"), dir.File("key.pem"));
    server.Start();
    vl::ServiceConfig config;
    config.baiduOcr.tokenUrl = server.Url("/token");
    config.baiduOcr.generalUrl = server.Url("/general");
    config.youdaoTranslate.url = server.Url("/api");
    vl::SetServices(config);
    const std::string reason = curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION);

    TranslateTask task = Task(0);
    std::vector<TranslateLine> lines;
    LogCapture::Get()->Clear();
    EXPECT_FALSE(Translator().OCRBaidu(task, lines));
    EXPECT_EQ(task.ocrErrInfo, "ocr : request failed, " + reason);
    EXPECT_TRUE(LogCapture::Get()->Has("request ocr baidu failed, " + reason));
    std::string translation, error;
    EXPECT_FALSE(Translator::TranslateOnceYoudao(0, "secret text", 2, translation, error));
    EXPECT_EQ(error, "curl_easy_perform failed with 60, " + reason);
    vl::Http::Instance()->Init();
    EXPECT_FALSE(vl::Http::Instance()->Sync({.url = server.Url("/")}).ok);
    vl::Http::Instance()->Uninit();
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 60, " + reason));
    EXPECT_EQ(server.RequestCount(), 0u);
}

// ---- The task thread

namespace {

struct Result {
    std::uint32_t id;
    bool ok;
    TranslateTask task;
    std::vector<TranslateLine> lines;
};

// Collects callbacks; may push one more task from inside the first one.
class Recorder : public ITranslatorCallback {
public:
    void OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask task,
                            std::vector<TranslateLine> lines) override {
        if (Translator* t = std::exchange(pushFromCallback, nullptr))
            t->PushTask(id + 100, 0, 2, "again");
        std::lock_guard lock(mutex_);
        results_.push_back({id, ok, std::move(task), std::move(lines)});
    }
    bool WaitFor(std::size_t n) {
        return vl::test::WaitUntil([&] { return Results().size() >= n; });
    }
    std::vector<Result> Results() {
        std::lock_guard lock(mutex_);
        return results_;
    }
    Translator* pushFromCallback = nullptr;

private:
    std::mutex mutex_;
    std::vector<Result> results_;
};

// The engines come from the remote configuration: Baidu for horizontal text, Youdao for
// vertical, as built in.
class TaskThreadTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        Config()->conf().engine("horizontal");
        Config()->PublishDirection();
        Config()->ParseConfig(R"({"code":0,"msg":"","data":{"config":{"qq_kefu":"","trans_config":)"
                              R"("{\"precise_ocr\":\"baidu\",\"vertical_ocr\":\"youdao\"}"}}})");
    }
    void TearDown() override {
        translator_.Uninit();
        Config()->conf().engine("horizontal");
        Config()->PublishDirection();
    }
    static ConfigManager* Config() { return vl::Singleton<ConfigManager>::Instance(); }

    Recorder recorder_;
};

}  // namespace

TEST_F(TaskThreadTest, TasksRunInPushOrderWithOneCallbackEach) {
    translator_.Init(&recorder_);
    for (std::uint32_t id : {7u, 8u, 9u})
        EXPECT_TRUE(translator_.PushTask(id, 3, 0, "image-" + std::to_string(id)));
    ASSERT_TRUE(recorder_.WaitFor(3));
    translator_.Uninit();
    const auto results = recorder_.Results();
    ASSERT_EQ(results.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].id, 7 + i);
        EXPECT_TRUE(results[i].ok);
        ASSERT_EQ(results[i].lines.size(), 2u);
        EXPECT_EQ(results[i].lines[1].translation, u"B");
        const auto form = vl::test::ParseForm(services_.Requests("/general")[i].body);
        EXPECT_EQ(form.at(2).second, Base64Evp("image-" + std::to_string(7 + i)));
    }
}

TEST_F(TaskThreadTest, FailuresOfEitherStepAreReportedAndTheQueueGoesOn) {
    services_.Set("/general", 200, BaiduAnswer(0));
    translator_.Init(&recorder_);
    translator_.PushTask(1, 0, 2, "blank");  // nothing recognised: no translation request
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_TRUE(recorder_.Results()[0].ok);
    EXPECT_EQ(recorder_.Results()[0].task.ocrErrInfo,
              "ocr result is empty, maybe no char has to be translated ?");
    services_.Set("/general", 200, R"({"error_code":17})");
    translator_.PushTask(2, 0, 2, "a");
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_FALSE(recorder_.Results()[1].ok);
    EXPECT_TRUE(services_.Requests("/api").empty());

    services_.Set("/general", 200, BaiduAnswer(2));
    services_.Set("/api", 500, "down");
    translator_.PushTask(3, 0, 2, "b");
    ASSERT_TRUE(recorder_.WaitFor(3));
    EXPECT_FALSE(recorder_.Results()[2].ok);
    EXPECT_EQ(recorder_.Results()[2].task.transErrInfo,
              "translate request failed response code 500, down");
}

TEST_F(TaskThreadTest, UninitWaitsForTheRunningTaskAndDropsTheQueue) {
    std::mutex gate;
    std::condition_variable cv;
    bool hold = true;
    std::atomic<int> calls{0};
    services_.Set("/general", [&](const httplib::Request&) {
        std::unique_lock lock(gate);
        ++calls;
        cv.wait_for(lock, 10s, [&] { return !hold; });
        return LoopbackServer::Reply{200, BaiduAnswer(1)};
    });
    translator_.Init(&recorder_);
    translator_.PushTask(1, 0, 2, "running");
    translator_.PushTask(2, 0, 2, "queued");
    ASSERT_TRUE(vl::test::WaitUntil([&] { return calls == 1; }));
    LogCapture::Get()->Clear();
    std::atomic<bool> returned{false};
    std::size_t callbacksWhenReturned = 0;
    std::thread stopper([&] {
        translator_.Uninit();
        callbacksWhenReturned = recorder_.Results().size();
        returned = true;
    });
    // Stopping has begun; the running task is still held by the server, so Uninit waits.
    ASSERT_TRUE(vl::test::WaitUntil([] {
        return LogCapture::Get()->Contains("translator stops, waiting for the running task");
    }));
    EXPECT_FALSE(returned.load());
    {
        std::lock_guard lock(gate);
        hold = false;
        cv.notify_all();
    }
    stopper.join();
    EXPECT_EQ(callbacksWhenReturned, 1u);
    EXPECT_EQ(calls.load(), 1);
}

// A callback that pushes the next task must not deadlock the task thread.
TEST_F(TaskThreadTest, CallbacksMayPush) {
    translator_.Init(&recorder_);
    recorder_.pushFromCallback = &translator_;
    translator_.PushTask(1, 0, 2, "first");
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_EQ(recorder_.Results()[1].id, 101u);
}
