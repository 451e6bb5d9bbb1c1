#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <regex>
#include <set>
#include <thread>

#include "logic/need_login.h"
#include "protocol/backend_protocol.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_browser.h"
#include "utils/vl_curl.h"
#include "utils/vl_http.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;

namespace {

// A port on 127.0.0.1 that takes connections but reads a request only when Answer is called: a
// client waiting for an answer there waits until its own time-out.
class RawPort {
public:
    RawPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    }
    ~RawPort() { ::close(fd_); }
    const std::string& Url() const { return url_; }

    // Accepts one connection, reads what the client sends until it pauses, and answers `reply`.
    // Returns the bytes read.
    std::string Answer(const std::string& reply) {
        const int c = ::accept(fd_, nullptr, nullptr);
        std::string data;
        char buf[4096];
        for (pollfd p{c, POLLIN, 0}; ::poll(&p, 1, 200) > 0;) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            data.append(buf, static_cast<std::size_t>(n));
        }
        (void)!::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(c);
        return data;
    }

private:
    int fd_;
    std::string url_;
};

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        needLogin_ = 0;
        account::SetNeedLoginHook([this] {
            ++needLogin_;
            needLoginThread_ = std::this_thread::get_id();
        });
        ASSERT_TRUE(http_->Init());
    }
    void TearDown() override {
        http_->Uninit();
        vl::Http::SetAnswerCheck(nullptr);
    }

    static vl::Http::Request Get(const std::string& url, vl::Http::Headers headers = {},
                                 std::int32_t timeout = 0) {
        return {.url = url, .headers = std::move(headers), .timeout = timeout};
    }

    vl::Http* http_ = vl::Http::Instance();
    std::atomic<int> needLogin_{0};
    std::thread::id needLoginThread_;
};

}  // namespace

TEST_F(HttpTest, HeadersGoInKeyOrderAndAnEmptyValueKeepsItsColon) {
    RawPort port;
    auto answered = std::async(std::launch::async, [&port] {
        return port.Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n{\"code\":0}");
    });
    const vl::Http::Result r =
        http_->Sync({.verb = vl::net::Verb::Post,
                     .url = port.Url() + "/p",
                     .headers = {{"Content-Type", "application/json"}, {"Access-Token", ""}},
                     .body = R"({"a":1})"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.response, R"({"code":0})");
    const std::string req = answered.get();
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
    LoopbackServer server;
    server.Route(false, "/");
    server.Start();
    vl::Http::Result r = http_->Sync(Get(server.Url("/"), {{"Access-Token", "t\r\nX-Evil: 1"}}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "header \"Access-Token\" has a control character");
    r = http_->Sync(Get(server.Url("/"), {{"", "v"}}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "header name is empty");
    auto witness = std::make_shared<int>(0);
    EXPECT_FALSE(http_->Async(Get(server.Url("/"), {{"A", "\n"}}), [witness](auto&) {}));
    EXPECT_EQ(witness.use_count(), 1);  // the refused callback was destroyed, not queued
    EXPECT_EQ(server.RequestCount(), 0u);
}

// An answer may not grow without end either: past the cap the transfer stops.
TEST_F(HttpTest, FailuresCarryTheirTexts) {
    LoopbackServer server;
    server.Route(false, "/missing");
    server.Route(false, "/big");
    server.Start();
    server.Set("/missing", 404, "no such page");
    server.Set("/big", 200, std::string(vl::Http::kMaxResponseBytes + 1, 'x'));
    vl::Http::Result r = http_->Sync(Get(server.Url("/missing")));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "response error");
    EXPECT_EQ(r.httpCode, 404);
    EXPECT_EQ(r.response, "no such page");
    r = http_->Sync(Get(server.Url("/big"), {}, 10000));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "response is larger than 4194304 bytes");
    server.Stop();
    r = http_->Sync(Get(server.Url("/missing")));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "perform request failed");
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 7, "));
}

TEST_F(HttpTest, QueuedCallbacksRunInOrderOnTheResponseThread) {
    LoopbackServer server;
    server.Route(false, "/n");
    server.Start();
    server.Set("/n", [](const httplib::Request& req) {
        return LoopbackServer::Reply{200, req.get_param_value("i")};
    });
    std::mutex mutex;
    std::string order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(http_->Async(Get(server.Url("/n?i=" + std::to_string(i))),
                                 [&](const vl::Http::Result& r) {
                                     std::lock_guard lock(mutex);
                                     order += r.ok ? r.response : "!";
                                     threads.insert(std::this_thread::get_id());
                                 }));
    }
    http_->Uninit();  // returns once both queues are drained
    EXPECT_EQ(order, "01234");
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(HttpTest, NeedLoginRuleRunsOnOkAnswersOnTheRequestingThread) {
    LoopbackServer server;
    server.Route(false, "/number");
    server.Route(false, "/error");
    server.Start();
    server.Set("/number", 200, R"({"code":10505,"msg":"kicked"})");
    server.Set("/error", 500, R"({"code":10505})");
    EXPECT_TRUE(http_->Sync(Get(server.Url("/number"))).ok);
    EXPECT_EQ(needLogin_, 1);
    EXPECT_EQ(needLoginThread_, std::this_thread::get_id());
    EXPECT_FALSE(http_->Sync(Get(server.Url("/error"))).ok);
    EXPECT_EQ(needLogin_, 1);

    // Queued: the rule runs on the request thread before the callback.
    std::atomic<bool> sawHookFirst{false};
    std::atomic<bool> done{false};
    ASSERT_TRUE(http_->Async(Get(server.Url("/number")), [&](const vl::Http::Result& r) {
        sawHookFirst = r.ok && needLogin_ == 2;
        done = true;
    }));
    ASSERT_TRUE(vl::test::WaitUntil([&] { return done.load(); }));
    EXPECT_TRUE(sawHookFirst);
    EXPECT_NE(needLoginThread_, std::this_thread::get_id());
}

// Only the top-level "code", and only a value that is exactly 10505: a wrapped 64-bit number or
// a huge float must not read as it (nor be undefined behaviour).
TEST(NeedLogin, OnlyTheExactTopLevelCodeMatches) {
    for (const char* yes : {R"({"code":10505})", R"({"msg":"x","code":"10505"})",
                            R"({"code":10505.0})", R"({"a":[[{"code":1}]],"code":10505})"}) {
        EXPECT_TRUE(account::IsNeedLoginAnswer(yes)) << yes;
    }
    const std::string deep =
        R"({"a":)" + std::string(200000, '[') + std::string(200000, ']') + R"(,"code":10505})";
    for (const std::string& no :
         {std::string(R"({"code":4294977801})"), std::string(R"({"code":10505.5})"),
          std::string(R"({"code":1e300})"), std::string(R"({"code":"99999999999999999999"})"),
          std::string(R"({"data":{"code":10505}})"), std::string(R"([{"code":10505}])"),
          std::string(R"({"code":true})"), std::string("<html>oops</html>"), deep}) {
        EXPECT_FALSE(account::IsNeedLoginAnswer(no)) << no.substr(0, 40);
    }
}

// A server that takes the connection and never answers: the time-out ends the wait (the test
// would hang otherwise).
TEST_F(HttpTest, TimeoutEndsATransferThatNeverAnswers) {
    RawPort silent;
    const vl::Http::Result r = http_->Sync(Get(silent.Url() + "/", {}, 200));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "perform request failed");
    EXPECT_TRUE(LogCapture::Get()->Contains("curl_easy_perform failed with 28, "));
}

TEST(ServiceUrl, CommonQueryIsBuiltOnceAndReused) {
    const vl::ServiceConfig saved = vl::Services();
    vl::ServiceConfig config;
    config.backend.url = "http://127.0.0.1:8731/";
    vl::SetServices(config);
    const std::string a = vl::ServiceUrl(velmora::protocol::kConfigGet.path);
    const std::regex shape(
        R"(http://127\.0\.0\.1:8731/config/get\?version=1000000&channel=default&u=[0-9a-f]{32}&uid=)");
    EXPECT_TRUE(std::regex_match(a, shape)) << a;
    EXPECT_EQ(vl::ServiceUrl("config/get"), a);
    const std::string q = vl::ServiceUrl(velmora::protocol::kLoginQqPoll.path);
    EXPECT_EQ(q.substr(0, q.find('?')), "http://127.0.0.1:8731/login//qq/ouath");
    vl::SetServices(saved);
}

// The parts libcurl itself will send: the port stays with the host, a missing path is "/".
TEST(SplitUrl, GivesThePartsLibcurlSends) {
    vl::curl::UrlParts parts;
    ASSERT_TRUE(vl::curl::SplitUrl("HTTP://[::1]:8080/a/b%20c?x=1&y=%2F#frag", parts));
    EXPECT_EQ(parts.host, "[::1]:8080");
    EXPECT_EQ(parts.path, "/a/b%20c");
    EXPECT_EQ(parts.query, "x=1&y=%2F");
    EXPECT_EQ(parts.withoutQuery.rfind("http://[::1]:8080/a/b%20c", 0), 0u) << parts.withoutQuery;
    ASSERT_TRUE(vl::curl::SplitUrl("https://example.com", parts));
    EXPECT_EQ(parts.host, "example.com");
    EXPECT_EQ(parts.path, "/");
    EXPECT_EQ(parts.query, "");
    EXPECT_FALSE(vl::curl::SplitUrl("http://exa mple.com/", parts));
    EXPECT_EQ(parts.path, "/");
}

// Each failure says where it stopped, with libcurl's code, so clients keep their own texts.
TEST(Send, FailuresNameTheirKind) {
    LoopbackServer server;
    server.Route(false, "/big");
    server.Start();
    server.Set("/big", 200, std::string(100, 'x'));
    vl::net::Result r = vl::net::Send({.url = server.Url("/big"), .headers = {{"A", "\r"}}});
    EXPECT_EQ(r.failure, vl::net::Failure::Prepare);
    EXPECT_EQ(r.curlCode, CURLE_BAD_FUNCTION_ARGUMENT);
    r = vl::net::Send({.url = server.Url("/big"), .maxAnswerBytes = 99});
    EXPECT_EQ(r.failure, vl::net::Failure::TooLarge);
    EXPECT_EQ(r.error, "response is larger than 99 bytes");
    r = vl::net::Send({.url = server.Url("/big"), .maxAnswerBytes = 100});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.httpCode, 200);
    server.Stop();
    r = vl::net::Send({.url = server.Url("/big")});
    EXPECT_EQ(r.failure, vl::net::Failure::Transfer);
    EXPECT_EQ(r.curlCode, CURLE_COULDNT_CONNECT);
}

TEST(OpenUrl, OnlyWebAddressesAreOpened) {
    std::vector<std::string> opened;
    vl::SetUrlOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    for (const char* bad : {"", "file:///etc/passwd", "javascript:alert(1)", "http://", "-http://x",
                            "http://a b", "http://x/\n"}) {
        EXPECT_FALSE(vl::OpenUrlWithDefaultBrowser(bad)) << bad;
    }
    EXPECT_TRUE(vl::OpenUrlWithDefaultBrowser("HTTP://example.com/pay?a=1&b=$(id)"));
    EXPECT_EQ(opened, std::vector<std::string>{"HTTP://example.com/pay?a=1&b=$(id)"});
    vl::SetUrlOpener(nullptr);
}
