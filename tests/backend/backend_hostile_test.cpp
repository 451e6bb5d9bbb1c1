// Clients that do not play by the rules, against the real back-end: what each may make it hold,
// and who may use the local stand-in pages.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/backend/backend_process.h"
#include "utils/vl_http.h"

namespace vl::test {
namespace {

constexpr int kIoTimeoutMs = 5000;

// A raw connection, for what libcurl would not send.
class Raw {
public:
    explicit Raw(const std::string& url) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port =
            htons(static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval tv{kIoTimeoutMs / 1000, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Raw() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool Send(const std::string& data) {
        std::size_t sent = 0;
        while (fd_ >= 0 && sent < data.size()) {
            const ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return fd_ >= 0;
    }
    // Whether an answer (or the end) is already there.
    bool Readable(int waitMs = 0) const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, waitMs) > 0;
    }
    // Everything until the server closes (or stays silent for the time-out).
    std::string ReadAll() {
        std::string out;
        char buf[16384];
        while (out.size() < (4u << 20) && Readable(kIoTimeoutMs)) {
            const ssize_t n = ::recv(fd_, buf, sizeof(buf), 0);
            if (n <= 0) {
                break;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int fd_ = -1;
};

std::string Exchange(const std::string& url, const std::string& request) {
    Raw raw(url);
    return raw.Send(request) ? raw.ReadAll() : std::string();
}

std::string Status(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}

class BackendHostileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vl::Http::Instance()->Init()); }
    void TearDown() override { vl::Http::Instance()->Uninit(); }
    TempDir dir_;
};

TEST_F(BackendHostileTest, OversizedSlowAndMalformedRequestsAreBoundedAndHealthChecksGoOn) {
    BackendProcess backend(dir_, {{"request_timeout_seconds", 2}, {"max_connections", 64}});
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    const std::string url = backend.Url();
    const std::string token = SignIn(backend, "13900004444");

    // A chunked body is cut off at the limit, not read whole.
    {
        Raw raw(url);
        ASSERT_TRUE(raw.Send("POST /trans/report HTTP/1.1\r\nHost: x\r\nAccess-Token: " + token +
                             "\r\nContent-Type: application/json\r\n"
                             "Transfer-Encoding: chunked\r\n\r\n"));
        const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
        int chunks = 0;
        while (chunks < 1024 && !raw.Readable() && raw.Send(chunk)) {
            ++chunks;
        }
        EXPECT_LT(chunks, 64);  // far less than the 64 MiB offered
        const std::string answer = raw.ReadAll();
        EXPECT_EQ(Status(answer), "HTTP/1.1 413 Payload Too Large");
        EXPECT_NE(answer.find("10413"), std::string::npos);
    }
    EXPECT_EQ(CountRows(dir_, "reports"), 0);

    // Too many header fields, and too many header bytes.
    std::string fields;
    for (int i = 0; i < 200; ++i) {
        fields += "X-" + std::to_string(i) + ": 1\r\n";
    }
    EXPECT_EQ(Status(Exchange(url, "GET /healthz HTTP/1.1\r\nHost: x\r\n" + fields + "\r\n")),
              "HTTP/1.1 431 Request Header Fields Too Large");
    {
        Raw raw(url);
        raw.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n");
        int lines = 0;
        while (lines < 400000 && !raw.Readable() && raw.Send(std::string(1000, 'a') + ": b\r\n")) {
            ++lines;
        }
        EXPECT_LT(lines, 20000);  // what the sockets buffered, not 400 MB
        EXPECT_EQ(Status(raw.ReadAll()), "HTTP/1.1 431 Request Header Fields Too Large");
    }

    // Ranges are ignored: the whole page, once.
    std::string ranges = "bytes=0-";
    for (int i = 0; i < 1500; ++i) {
        ranges += ",0-";
    }
    const std::string page = Exchange(
        url, "GET /pages/help HTTP/1.1\r\nHost: x\r\nConnection: close\r\nRange: " + ranges +
                 "\r\n\r\n");
    EXPECT_EQ(Status(page), "HTTP/1.1 200 OK");
    EXPECT_EQ(page.find("multipart"), std::string::npos);
    EXPECT_LT(page.size(), 16u * 1024);

    // Every other method on a path that exists is the wrong method.
    for (const char* method : {"PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const std::string answer =
            Exchange(url, std::string(method) +
                              " /user/info HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                              "Content-Length: 0\r\n\r\n");
        EXPECT_EQ(Status(answer), "HTTP/1.1 405 Method Not Allowed") << method;
        EXPECT_NE(answer.find("10405"), std::string::npos) << method;
    }

    // 40 clients sending a header line now and then: each is cut off when its request's time is
    // up, however often it sends, and health checks are answered meanwhile.
    std::vector<std::unique_ptr<Raw>> slow;
    for (int i = 0; i < 40; ++i) {
        slow.push_back(std::make_unique<Raw>(url));
        slow.back()->Send("GET /healthz HTTP/1.1\r\nHost: x\r\n");
    }
    std::atomic<bool> dribbling{true};
    std::thread dribble([&] {
        for (int round = 0; round < 20 && dribbling; ++round) {  // 6 s at most
            for (auto& s : slow) {
                s->Send("X-Slow: 1\r\n");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Get(url + "/healthz").Code(), 0);
    }
    int cutOff = 0;
    for (auto& s : slow) {
        const std::string answer = s->ReadAll();  // the server closes it, answering nothing
        cutOff += answer.empty() ? 1 : 0;
    }
    dribbling = false;
    dribble.join();
    EXPECT_EQ(cutOff, 40);
    EXPECT_EQ(Get(url + "/healthz").Code(), 0);
}

TEST_F(BackendHostileTest, CapsHoldAcrossAddressesAndStandInsServeOnlyTheirOwnPages) {
    BackendProcess backend(dir_,
                           {{"trust_forwarded_for", true},
                            {"max_qr_states_per_address", 2},
                            {"sms", {{"daily_per_address", 2}, {"daily_checks_per_phone", 3}}}});
    ASSERT_FALSE(backend.Url().empty()) << backend.Log();
    const std::string url = backend.Url();
    // The proxy appends the address it saw; what the client wrote left of it changes nothing.
    const auto sendCode = [&](const std::string& phone, int spoof) {
        const std::string body = R"({"phone":")" + phone + R"("})";
        const std::string answer =
            Exchange(url,
                     "POST /sms/send/code HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                     "Content-Type: application/json\r\nX-Forwarded-For: 10.0.0." +
                         std::to_string(spoof) + ", 203.0.113.7\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n" + body);
        return answer.substr(answer.find("\r\n\r\n") + 4);
    };
    EXPECT_NE(sendCode("13900000001", 1).find(R"("code":0)"), std::string::npos);
    EXPECT_NE(sendCode("13900000002", 2).find(R"("code":0)"), std::string::npos);
    EXPECT_NE(sendCode("13900000003", 3).find("10429"), std::string::npos);

    // Code checks per phone and day, whatever the address.
    const std::string wrong = R"({"phone":"13900000001","code":"000000"})";
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(Post(url + "/login/sms", wrong).Code(), 10429);
    }
    EXPECT_EQ(Post(url + "/login/sms", wrong).Code(), 10429);

    // QR states per address.
    EXPECT_EQ(Get(url + "/login/wechat/qr-info").Code(), 0);
    const Answer qr = Get(url + "/login/qq/oauth-info");
    ASSERT_EQ(qr.Code(), 0);
    EXPECT_EQ(Get(url + "/login/wechat/qr-info").Code(), 10429);

    // The confirmation page: only from loopback clients, only with its token, only same-site.
    const std::string pageUrl = qr.Data()["url"];
    const std::string pagePath = pageUrl.substr(pageUrl.find("/pages/"));
    const std::string state = qr.Data()["state"];
    EXPECT_EQ(Status(Exchange(url, "GET " + pagePath +
                                       " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                       "X-Forwarded-For: 203.0.113.7\r\n\r\n")),
              "HTTP/1.1 403 Forbidden");
    const Answer page = Get(pageUrl);
    ASSERT_EQ(page.httpCode, 200);
    const std::string form = "provider=qq&state=" + state + "&account=mallory";
    const std::string csrf = "&csrf=" + FormTokenIn(page.body);
    const auto post = [&](const std::string& body, const std::string& origin) {
        return Status(Exchange(
            url,
            "POST /pages/qr-login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nOrigin: " +
                origin + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body));
    };
    EXPECT_EQ(post(form, url), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(post(form + csrf, "http://evil.example"), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(post(form + csrf, url), "HTTP/1.1 200 OK");
    const std::string headers = Exchange(url,
                                         "GET /pages/help HTTP/1.1\r\nHost: x\r\n"
                                         "Connection: close\r\n\r\n");
    EXPECT_NE(headers.find("X-Frame-Options: DENY"), std::string::npos);
    EXPECT_NE(headers.find("frame-ancestors 'none'"), std::string::npos);

    // Enabling the stand-ins on an address others reach is refused, with the reason.
    TempDir other;
    BackendProcess remote(other,
                          {{"listen", {{"host", "0.0.0.0"}}}, {"stand_ins", {{"enabled", true}}}});
    EXPECT_TRUE(remote.Url().empty());
    EXPECT_NE(remote.Log().find("stand_ins.allow_remote"), std::string::npos) << remote.Log();
}

}  // namespace
}  // namespace vl::test
