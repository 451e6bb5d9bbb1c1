// The back-end as a service: hostile requests, durability across kill -9, its configuration and
// the answers the program reads at start-up.
#include <gtest/gtest.h>

#include <curl/curl.h>
#include <signal.h>

#include <atomic>
#include <future>
#include <thread>

#include "config/config_manager.h"
#include "tests/backend/backend_process.h"
#include "tests/support/account_backend.h"  // WaitUntil
#include "tests/support/process.h"
#include "utils/vl_curl.h"
#include "utils/vl_http.h"

namespace vl::test {
namespace {

class BackendServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vl::Http::Instance()->Init()); }
    void TearDown() override { vl::Http::Instance()->Uninit(); }
    TempDir dir_;
};

TEST_F(BackendServiceTest, HostileRequestsAreAnsweredWithCodesAndServingGoesOn) {
    BackendProcess backend(dir_, {{"max_body_bytes", 4096}});
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    const std::string token = SignIn(backend, "13700001111");
    ASSERT_FALSE(token.empty());
    struct Case {
        const char* path;
        std::string body;
        int code;
    };
    const Case cases[] = {
        {"/login/sms", "not json", 10400},
        {"/login/sms", "[1,2]", 10400},
        {"/login/sms", std::string(1000, '[') + std::string(1000, ']'), 10400},
        {"/login/sms", "", 10400},
        {"/login/sms", R"({"phone":"13700001111","code":123456})", 10401},          // wrong type
        {"/login/sms", R"({"phone":"13700001111"})", 10401},                        // missing
        {"/login/sms", R"({"phone":"13700001111","code":"123456","x":1})", 10401},  // unknown
        {"/sms/send/code", "{\"phone\":\"\xff\xfe\"}", 10400},                      // not UTF-8
        {"/sms/send/code", R"({"phone":"1370000111"})", 10401},  // not a phone number
        {"/order/submit", R"({"goodsId":1e400,"payMethod":9,"goodsType":1})", 10400},
        {"/order/submit", R"({"goodsId":18446744073709551616,"payMethod":9,"goodsType":1})", 10401},
        {"/order/submit", R"({"goodsId":1.5,"payMethod":9,"goodsType":1})", 10401},
        {"/trans/save-nums", R"({"ocrTime":-1})", 10401},
        {"/trans/save-nums", R"({"logId":")" + std::string(5000, 'a') + "\"}", 10413},
        {"/user/info", "{}", 10405},
        {"/no/such/path", "{}", 10404},
    };
    for (const Case& c : cases) {
        const Answer a = Post(backend.Url() + c.path, c.body, token);
        EXPECT_EQ(a.Code(), c.code) << c.path << " " << c.body.substr(0, 80) << " -> " << a.body;
        EXPECT_TRUE(a.json.contains("msg")) << a.body;
    }
    EXPECT_EQ(Get(backend.Url() + "/user/info", std::string(64, 'z')).Code(), 10505);
    EXPECT_EQ(Get(backend.Url() + "/healthz").Code(), 0);
    EXPECT_EQ(Get(backend.Url() + "/user/info", token).Code(), 0);
    EXPECT_EQ(backend.Terminate(), 0);
}

TEST_F(BackendServiceTest, WrongCodesBurnTheCodeAndResendsWait) {
    BackendProcess backend(dir_, {{"sms", {{"resend_seconds", 60}, {"daily_per_address", 2}}}});
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    const auto send = [&](const char* phone) {
        return Post(backend.Url() + "/sms/send/code", nlohmann::json{{"phone", phone}}.dump())
            .Code();
    };
    const auto login = [&](const std::string& code) {
        return Post(backend.Url() + "/login/sms",
                    nlohmann::json{{"phone", "13700002222"}, {"code", code}}.dump())
            .Code();
    };
    ASSERT_EQ(send("13700002222"), 0);
    EXPECT_EQ(send("13700002222"), 10429);  // within the resend interval
    EXPECT_EQ(send("13700003333"), 0);
    EXPECT_EQ(send("13700004444"), 10429);  // the address's daily cap
    const std::string code = backend.CodeFor("13700002222");
    const std::string wrong = code == "000000" ? "111111" : "000000";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(login(wrong), 10601);
    }
    EXPECT_EQ(login(code), 10602);  // burnt by the fifth wrong try
}

TEST_F(BackendServiceTest, AcknowledgedChargesSurviveKill9) {
    const nlohmann::json config = {{"quota", {{"free_daily", 1000000}}}};
    auto backend = std::make_unique<BackendProcess>(dir_, config);
    ASSERT_FALSE(backend->Url().empty()) << backend->Log();
    const std::string token = SignIn(*backend, "13600001111");
    const std::string url = backend->Url() + "/trans/save-nums";
    std::atomic<int> acked{0};
    int inFlight = -1;  // the charge whose answer never came
    std::thread stream([&] {
        for (int i = 0; i < 100000; ++i) {
            if (Post(url, nlohmann::json{{"logId", "c" + std::to_string(i)}}.dump(), token)
                    .Code() != 0) {
                inFlight = i;
                return;
            }
            ++acked;
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return acked >= 50; }));
    backend->Kill();
    stream.join();

    backend = std::make_unique<BackendProcess>(dir_, config);
    const auto used = [&] {
        const Answer a = Get(backend->Url() + "/user/info", token);  // the sign-in survived too
        return a.Code() == 0 ? 1000000 - a.Data()["freeNums"].get<int>() : -1;
    };
    const int afterCrash = used();
    EXPECT_GE(afterCrash, acked.load());
    EXPECT_LE(afterCrash, acked.load() + 1);
    // Sending the unanswered charge again settles it exactly once.
    ASSERT_GE(inFlight, 0);
    Post(backend->Url() + "/trans/save-nums",
         nlohmann::json{{"logId", "c" + std::to_string(inFlight)}}.dump(), token);
    EXPECT_EQ(used(), acked.load() + 1);
}

TEST_F(BackendServiceTest, ReportsNeedAnAccountAndAreKeptWithinTheirBounds) {
    const nlohmann::json config = {{"reports", {{"max_rows", 2}, {"per_account_daily", 3}}}};
    auto backend = std::make_unique<BackendProcess>(dir_, config);
    ASSERT_FALSE(backend->Url().empty()) << backend->Log();
    const std::string url = backend->Url() + "/trans/report?u=device1";
    const std::string body = nlohmann::json{{"status", 1}, {"platform", "windows"}}.dump();
    EXPECT_EQ(Post(url, body).Code(), 10506);
    EXPECT_EQ(Post(url, body, std::string(64, 'a')).Code(), 10505);
    const std::string token = SignIn(*backend, "13900003333");
    for (int i = 0; i < 3; ++i) {
        const Answer a = Post(url, body, token);
        EXPECT_EQ(a.Code(), 0) << a.body;
    }
    EXPECT_EQ(Post(url, body, token).Code(), 10429);  // the account's share of the day
    // A field past its cap is refused, not stored.
    EXPECT_EQ(Post(url, nlohmann::json{{"errInfo", std::string(5000, 'e')}}.dump(), token).Code(),
              10401);
    EXPECT_EQ(CountRows(dir_, "reports"), 3);
    backend.reset();
    backend = std::make_unique<BackendProcess>(dir_, config);  // pruned at start
    EXPECT_TRUE(WaitUntil([&] { return CountRows(dir_, "reports") == 2; }));
}

TEST_F(BackendServiceTest, TheProgramReadsItsAnswersAndTheLinkedPagesExist) {
    BackendProcess backend(
        dir_, {{"remote_config",
                {{"trans_config", {{"precise_ocr", "youdao"}, {"vertical_ocr", "baidu"}}}}}});
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    ConfigManager settings(dir_.Path().string());
    settings.ParseConfig(Get(backend.Url() + "/config/get?key=qq_kefu,trans_config").body);
    EXPECT_EQ(settings.GetOcrEngine(), "youdao");
    EXPECT_EQ(settings.CustomerServiceQq(), "800800800");

    const nlohmann::json goods = Get(backend.Url() + "/goods/list").Data()["goods"];
    ASSERT_FALSE(goods.empty());
    for (const char* key : {"goodsId", "goodsName", "goodsDesc", "goodsCategory", "goodsGroup",
                            "goodsTabId", "oriPrice", "price", "unitPrice", "unitTime",
                            "unlimitedNums", "transNums", "badge", "features"}) {
        EXPECT_TRUE(goods[0].contains(key)) << key;
    }
    EXPECT_EQ(Get(backend.Url() + "/app/update").Data()["versionCode"], 1000000);
    for (const char* page : {"help", "agreement", "privacy", "contact", "vip-agreement"}) {
        const Answer a = Get(backend.Url() + "/pages/" + page);
        EXPECT_EQ(a.httpCode, 200) << page;
        EXPECT_NE(a.body.find("<h1>"), std::string::npos) << page;
    }
}

// A POST whose body stops half-way until Finish(): its request is in flight meanwhile.
class SlowPost {
public:
    SlowPost(const std::string& url, std::string body) : body_(std::move(body)) {
        thread_ = std::thread([this, url] {
            CURL* h = curl_easy_init();
            curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
            curl_easy_setopt(h, CURLOPT_URL, url.c_str());
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body_.size()));
            curl_easy_setopt(h, CURLOPT_READFUNCTION, &SlowPost::Read);
            curl_easy_setopt(h, CURLOPT_READDATA, this);
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &vl::curl::WriteToSink);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink_);
            curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, 10000L);
            curl_easy_perform(h);
            curl_slist_free_all(headers);
            curl_easy_cleanup(h);
        });
        halfSent_.get_future().wait_for(std::chrono::seconds(10));
    }
    // The rest of the body; the answer's code (-1 for none).
    int Finish() {
        resume_.set_value();
        thread_.join();
        const nlohmann::json answer = nlohmann::json::parse(response_, nullptr, false);
        return answer.is_object() ? answer.value("code", -1) : -1;
    }

private:
    static size_t Read(char* buf, size_t size, size_t count, void* self) {
        auto* p = static_cast<SlowPost*>(self);
        const std::size_t half = p->body_.size() / 2;
        if (p->sent_ == half) {
            p->halfSent_.set_value();
            p->resume_.get_future().wait();
        }
        const std::size_t end = p->sent_ < half ? half : p->body_.size();
        const std::size_t n = std::min(size * count, end - p->sent_);
        std::memcpy(buf, p->body_.data() + p->sent_, n);
        p->sent_ += n;
        return n;
    }

    std::string body_;
    std::size_t sent_ = 0;
    std::promise<void> halfSent_;
    std::promise<void> resume_;
    std::string response_;
    vl::curl::Sink sink_{&response_};
    std::thread thread_;
};

TEST_F(BackendServiceTest, SigtermFinishesTheRequestsAlreadyAccepted) {
    // Two request threads, both held by half-sent bodies; a third request waits, accepted, for
    // a thread when the back-end is told to stop.
    auto backend = std::make_unique<BackendProcess>(dir_, nlohmann::json{{"threads", 2}});
    ASSERT_FALSE(backend->Url().empty()) << backend->Log();
    const std::string body = R"({"phone":"13700009999","code":"123456"})";
    SlowPost first(backend->Url() + "/login/sms", body);
    SlowPost second(backend->Url() + "/login/sms", body);
    auto waiting = std::async(std::launch::async,
                              [&] { return Post(backend->Url() + "/login/sms", body).Code(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // all three accepted
    auto stopped = std::async(std::launch::async, [&] { return backend->Terminate(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the signal has arrived
    EXPECT_EQ(first.Finish(), 10602);
    EXPECT_EQ(second.Finish(), 10602);
    EXPECT_EQ(waiting.get(), 10602);
    EXPECT_EQ(stopped.get(), 0) << backend->Log();
}

TEST_F(BackendServiceTest, TheCommandLineToolSignsInAndShowsTheAccount) {
    BackendProcess backend(dir_);
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    TempDir tool;
    const std::string cli = CopyCli(tool.Path().string());
    tool.Write("velmora-services.json",
               nlohmann::json{{"backend", {{"url", backend.Url()}}}}.dump());
    const std::string phone = "13500001234";
    EXPECT_EQ(RunProcess({cli, "request-code", "--phone", phone}).exitCode, 0);
    const ProcessResult login =
        RunProcess({cli, "login-phone", "--phone", phone, "--code", backend.CodeFor(phone)});
    EXPECT_EQ(login.exitCode, 0) << login.err;
    EXPECT_NE(login.out.find("nickname: 用户1234"), std::string::npos) << login.out;
    EXPECT_EQ(RunProcess({cli, "account"}).out, login.out);  // the token was kept

    ASSERT_FALSE(SignIn(backend, phone).empty());  // elsewhere
    const ProcessResult kicked = RunProcess({cli, "account"});
    EXPECT_EQ(kicked.exitCode, 1);
    EXPECT_NE(kicked.err.find("no longer accepts"), std::string::npos) << kicked.err;
}

TEST_F(BackendServiceTest, ABadConfigurationIsRefusedWithItsReason) {
    dir_.Write("bad.json", R"({"sms":{"max_tries":0}})");
    const ProcessResult bad = RunProcess({VELMORA_BACKEND_PATH, "--config", dir_.File("bad.json")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("sms.max_tries"), std::string::npos) << bad.err;

    BackendProcess first(dir_);
    ASSERT_FALSE(first.Url().empty());
    const std::string port = first.Url().substr(first.Url().rfind(':') + 1);
    const ProcessResult taken =
        RunProcess({VELMORA_BACKEND_PATH, "--port", port, "--database", dir_.File("other.db")});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("cannot listen"), std::string::npos) << taken.err;
}

}  // namespace
}  // namespace vl::test
