#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/raw_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_cert.h"
#include "utils/vl_backend.h"
#include "utils/vl_http.h"
#include "utils/vl_services.h"

using namespace std::chrono_literals;
using vl::test::LogCapture;
using vl::test::LoopbackServer;
using vl::test::RawServer;

namespace {

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        needLogin_ = 0;
        vl::Http::SetNeedLoginHook([this] {
            ++needLogin_;
            needLoginThread_ = std::this_thread::get_id();
        });
        ASSERT_TRUE(http_->Init());
    }
    void TearDown() override {
        http_->Uninit();
        vl::Http::SetNeedLoginHook(nullptr);
    }

    vl::Http* http_ = vl::Http::Instance();
    std::atomic<int> needLogin_{0};
    std::thread::id needLoginThread_;
};

}  // namespace

TEST_F(HttpTest, HeadersGoInKeyOrderAndAnEmptyValueKeepsItsColon) {
    RawServer server(RawServer::Reply(200, R"({"code":0})"));
    std::string error, response;
    std::int32_t code = 0;
    ASSERT_TRUE(http_->PostSync(error, code, response, server.Url("/p"),
                                {{"Content-Type", "application/json"}, {"Access-Token", ""}},
                                R"({"a":1})", 0, true))
        << error;
    EXPECT_EQ(response, R"({"code":0})");
    const std::string req = server.Requests().at(0);
    EXPECT_EQ(req.rfind("POST /p HTTP/1.1\r\n", 0), 0u) << req;
    const auto token = req.find("\r\nAccess-Token:\r\n");
    const auto type = req.find("\r\nContent-Type:application/json\r\n");
    ASSERT_NE(token, std::string::npos) << req;
    ASSERT_NE(type, std::string::npos) << req;
    EXPECT_LT(token, type);
    EXPECT_NE(req.find("\r\n\r\n{\"a\":1}"), std::string::npos);
}

// A line break in a value (a token from the back-end, say) would add header lines of its own.
TEST_F(HttpTest, HeaderValuesWithControlCharactersAreRefusedBeforeSending) {
    RawServer server(RawServer::Reply(200, "{}"));
    std::string error, response;
    std::int32_t code = 0;
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/"),
                                {{"Access-Token", "t\r\nX-Evil: 1"}}, 0));
    EXPECT_EQ(error, "header \"Access-Token\" has a control character");
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/"), {{"", "v"}}, 0));
    EXPECT_EQ(error, "header name is empty");
    auto witness = std::make_shared<int>(0);
    EXPECT_FALSE(http_->GetAsync([witness](bool, auto&&...) {}, server.Url("/"), {{"A", "\n"}}));
    EXPECT_EQ(witness.use_count(), 1);  // the refused callback was destroyed, not queued
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(HttpTest, FailuresCarryTheirTexts) {
    LoopbackServer server;
    server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("no such page", "text/plain");
    });
    server.Start();
    std::string error, response;
    std::int32_t code = 0;
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/missing"), {}, 0));
    EXPECT_EQ(error, "response error");
    EXPECT_EQ(code, 404);
    EXPECT_EQ(response, "no such page");

    const int port = server.Port();
    server.Stop();
    EXPECT_FALSE(http_->GetSync(error, code, response,
                                "http://127.0.0.1:" + std::to_string(port) + "/", {}, 0));
    EXPECT_EQ(error, "perform request failed");
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 7, "));
}

// An answer may not grow without end: past the cap the transfer stops and the request fails.
TEST_F(HttpTest, AnswersLargerThanTheCapFail) {
    const std::string big(vl::Http::kMaxResponseBytes + 1, 'x');
    LoopbackServer server;
    server.Get("/big", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(big, "text/plain");
    });
    server.Start();
    std::string error, response;
    std::int32_t code = 0;
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/big"), {}, 10000));
    EXPECT_EQ(error, "response is larger than 4194304 bytes");
}

TEST_F(HttpTest, QueuedCallbacksRunInOrderOnTheResponseThread) {
    LoopbackServer server;
    server.Get("/n", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_param_value("i"), "text/plain");
    });
    server.Post("/n", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("posted " + req.body, "text/plain");
    });
    server.Start();

    std::mutex mutex;
    std::vector<std::string> order;
    std::set<std::thread::id> threads;
    std::atomic<int> done{0};
    auto record = [&](bool ok, const std::string& error, std::int32_t, const std::string& resp,
                      const std::string& url, const std::string& body, std::int32_t) {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(ok) << error;
        order.push_back(resp + "|" + url.substr(url.find("/n")) + "|" + body);
        threads.insert(std::this_thread::get_id());
        ++done;
    };
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(http_->GetAsync(record, server.Url("/n?i=" + std::to_string(i)), {}));
    }
    ASSERT_TRUE(http_->PostAsync(record, server.Url("/n"), {{"Content-Type", "text/plain"}}, "b"));
    for (int i = 0; i < 500 && done < 6; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(done, 6);
    EXPECT_EQ(order, (std::vector<std::string>{"0|/n?i=0|", "1|/n?i=1|", "2|/n?i=2|", "3|/n?i=3|",
                                               "4|/n?i=4|", "posted b|/n|b"}));
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(HttpTest, StopDeliversEveryQueuedRequest) {
    LoopbackServer server;
    server.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(30ms);
        res.set_content("{}", "application/json");
    });
    server.Start();
    std::atomic<int> delivered{0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(http_->GetAsync([&](bool ok, auto&&...) { delivered += ok ? 1 : 0; },
                                    server.Url("/slow"), {}));
    }
    http_->Uninit();  // returns once both queues are drained
    EXPECT_EQ(delivered, 5);
}

TEST_F(HttpTest, NeedLoginRuleRunsOnOkAnswersOnTheRequestingThread) {
    LoopbackServer server;
    server.Get("/number", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"code":10505,"msg":"kicked"})", "application/json");
    });
    server.Get("/error", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content(R"({"code":10505})", "application/json");
    });
    server.Start();
    std::string error, response;
    std::int32_t code = 0;
    EXPECT_TRUE(http_->GetSync(error, code, response, server.Url("/number"), {}, 0));
    EXPECT_EQ(needLogin_, 1);
    EXPECT_EQ(needLoginThread_, std::this_thread::get_id());
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/error"), {}, 0));
    EXPECT_EQ(needLogin_, 1);

    // Queued: the rule runs on the request thread before the callback.
    std::atomic<bool> sawHookFirst{false};
    std::atomic<bool> done{false};
    ASSERT_TRUE(http_->GetAsync(
        [&](bool ok, auto&&...) {
            sawHookFirst = ok && needLogin_ == 2;
            done = true;
        },
        server.Url("/number"), {}));
    for (int i = 0; i < 300 && !done; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(sawHookFirst);
    EXPECT_NE(needLoginThread_, std::this_thread::get_id());
}

// Only the top-level "code", and only a value that is exactly 10505: a wrapped 64-bit number or
// a huge float must not read as it (nor be undefined behaviour).
TEST(NeedLogin, OnlyTheExactTopLevelCodeMatches) {
    for (const char* yes : {R"({"code":10505})", R"({"msg":"x","code":"10505"})",
                            R"({"code":10505.0})", R"({"a":[[{"code":1}]],"code":10505})"}) {
        EXPECT_TRUE(vl::Http::IsNeedLoginAnswer(yes)) << yes;
    }
    const std::string deep =
        R"({"a":)" + std::string(200000, '[') + std::string(200000, ']') + R"(,"code":10505})";
    for (const std::string& no :
         {std::string(R"({"code":4294977801})"), std::string(R"({"code":10505.5})"),
          std::string(R"({"code":1e300})"), std::string(R"({"code":"99999999999999999999"})"),
          std::string(R"({"data":{"code":10505}})"), std::string(R"([{"code":10505}])"),
          std::string(R"({"code":true})"), std::string("<html>oops</html>"), deep}) {
        EXPECT_FALSE(vl::Http::IsNeedLoginAnswer(no)) << no.substr(0, 40);
    }
}

TEST_F(HttpTest, DefaultTimeoutEndsATransferThatNeverAnswers) {
    RawServer silent("");
    std::string error, response;
    std::int32_t code = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(http_->GetSync(error, code, response, silent.Url("/"), {}, 0));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 28, "));
    // The default of 3000 ms applied, not an endless wait (bounds, not a measurement).
    EXPECT_GE(elapsed, 2500ms);
    EXPECT_LT(elapsed, 20s);
}

TEST_F(HttpTest, SelfSignedCertificateIsRefused) {
    vl::test::TempDir dir;
    ASSERT_TRUE(vl::test::WriteSelfSignedCertificate(dir.File("c.pem"), dir.File("k.pem")));
    LoopbackServer server(dir.File("c.pem"), dir.File("k.pem"));
    server.Start();
    std::string error, response;
    std::int32_t code = 0;
    EXPECT_FALSE(http_->GetSync(error, code, response, server.Url("/"), {}, 0));
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 60, "));
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(ServiceUrl, CommonQueryIsBuiltOnceAndReused) {
    vl::ServiceConfig config;
    config.backend.url = "http://127.0.0.1:8731/";
    vl::SetServices(config);
    const std::string a = vl::ServiceUrl(vl::backend::kConfigGet.path);
    const std::regex shape(
        R"(http://127\.0\.0\.1:8731/config/get\?version=1000000&channel=default&u=[0-9a-f]{32}&uid=)");
    EXPECT_TRUE(std::regex_match(a, shape)) << a;
    EXPECT_EQ(vl::ServiceUrl("config/get"), a);
    const std::string q = vl::ServiceUrl(vl::backend::kLoginQqPoll.path);
    EXPECT_EQ(q.substr(0, q.find('?')), "http://127.0.0.1:8731/login//qq/ouath");
}

TEST(OpenUrl, OnlyWebAddressesAreOpened) {
    std::vector<std::string> opened;
    vl::Http::SetUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    for (const char* bad : {"", "file:///etc/passwd", "javascript:alert(1)", "http://", "-http://x",
                            "http://a b", "http://x/\n"}) {
        EXPECT_FALSE(vl::Http::OpenUrlWithDefaultBrowser(bad)) << bad;
    }
    EXPECT_TRUE(vl::Http::OpenUrlWithDefaultBrowser("HTTP://example.com/pay?a=1&b=$(id)"));
    EXPECT_EQ(opened, std::vector<std::string>{"HTTP://example.com/pay?a=1&b=$(id)"});
    vl::Http::SetUrlOpener(nullptr);
}
