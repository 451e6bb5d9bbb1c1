// Two back-end instances on one PostgreSQL database, as behind a load balancer: what one
// instance writes the other must honour, and races between them must resolve in the database.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "tests/backend/backend_process.h"
#include "tests/support/postgres_server.h"
#include "utils/vl_http.h"

namespace vl::test {
namespace {

const char* const kForm = "application/x-www-form-urlencoded";

// The anti-forgery token of the form on a page.
std::string FormToken(const std::string& pageUrl) {
    const std::string page = Get(pageUrl).body;
    std::smatch m;
    return std::regex_search(page, m, std::regex("name=\"csrf\" value=\"([0-9a-f]+)\""))
               ? m[1].str()
               : std::string();
}

// Every test has a server of its own.
class BackendPostgresTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server_.Url().empty()) << server_.Error();
        ASSERT_TRUE(vl::Http::Instance()->Init());
    }
    void TearDown() override { vl::Http::Instance()->Uninit(); }

    // Two instances with the same configuration on the test's database.
    void StartBoth(nlohmann::json config = nlohmann::json::object()) {
        nlohmann::json merged = {{"database", server_.Url()}, {"database_pool", 4}};
        merged.merge_patch(config);
        a_ = std::make_unique<BackendProcess>(dirA_, merged);
        b_ = std::make_unique<BackendProcess>(dirB_, merged);
        ASSERT_FALSE(a_->Url().empty()) << a_->Log();
        ASSERT_FALSE(b_->Url().empty()) << b_->Log();
    }

    int SendCode(const BackendProcess& via, const std::string& phone) {
        return Post(via.Url() + "/sms/send/code", nlohmann::json{{"phone", phone}}.dump()).Code();
    }

    PostgresServer server_;
    TempDir dirA_, dirB_;
    std::unique_ptr<BackendProcess> a_, b_;
};

TEST_F(BackendPostgresTest, ChargesAndPaymentsThroughBothInstancesApplyExactlyOnce) {
    constexpr int kFree = 150;
    constexpr int kClients = 16;
    constexpr int kEach = 12;  // 192 charges for 150 free translations
    StartBoth({{"quota", {{"free_daily", kFree}}}});
    const std::string token = SignIn(*a_, "13600001111");
    ASSERT_FALSE(token.empty()) << a_->Log();

    // Every client alternates instances and sends each charge twice, the repeat to the other
    // instance, as a retry after a lost answer would.
    std::atomic<int> acknowledged{0}, refused{0}, failed{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < kEach; ++i) {
                const std::string body =
                    nlohmann::json{{"logId", std::to_string(c) + "-" + std::to_string(i)}}.dump();
                const BackendProcess& first = (c + i) % 2 ? *a_ : *b_;
                const BackendProcess& second = (c + i) % 2 ? *b_ : *a_;
                const int code = Post(first.Url() + "/trans/save-nums", body, token).Code();
                const int again = Post(second.Url() + "/trans/save-nums", body, token).Code();
                if (code == 0) {
                    ++acknowledged;
                } else if (code == 10701) {
                    ++refused;
                } else {
                    ++failed;
                }
                // A repeat of an acknowledged charge is acknowledged and not counted again.
                if (code == 0 && again != 0) {
                    ++failed;
                }
            }
        });
    }
    for (auto& t : clients) {
        t.join();
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(acknowledged, kFree);
    EXPECT_EQ(refused, kClients * kEach - kFree);
    EXPECT_EQ(server_.Query("SELECT count(*) FROM charges"), std::to_string(kFree))
        << server_.Error();
    EXPECT_EQ(Get(b_->Url() + "/user/info", token).Data()["freeNums"], 0);

    // A pack of 100 paid through both instances at once, several times each.
    const Answer order =
        Post(a_->Url() + "/order/submit",
             nlohmann::json{{"goodsId", 11}, {"payMethod", 9}, {"goodsType", 1}}.dump(), token);
    ASSERT_EQ(order.Code(), 0) << order.body;
    const std::string orderNo = order.Data()["orderNo"];
    // The form of one instance's page is good on the other: they share the form secret.
    const std::string form = "orderNo=" + orderNo + "&amount=600&csrf=" +
                             FormToken(b_->Url() + "/pages/pay?orderNo=" + orderNo);
    std::vector<std::thread> payers;
    std::atomic<int> paidPages{0};
    for (int p = 0; p < 6; ++p) {
        payers.emplace_back([&, p] {
            if (Post((p % 2 ? a_ : b_)->Url() + "/pages/pay", form, "", kForm).httpCode == 200) {
                ++paidPages;
            }
        });
    }
    for (auto& t : payers) {
        t.join();
    }
    EXPECT_EQ(paidPages, 6);
    EXPECT_EQ(Get(a_->Url() + "/user/info", token).Data()["vipNums"], 100);
    EXPECT_EQ(Post(b_->Url() + "/trans/save-nums", R"({"logId":"after"})", token).Code(), 0);
    EXPECT_EQ(Get(a_->Url() + "/user/info", token).Data()["vipNums"], 99);
}

TEST_F(BackendPostgresTest, SignInsSessionsAndCodeCapsAreSharedByTheInstances) {
    StartBoth({{"sms", {{"daily_per_phone", 2}, {"daily_per_address", 3}}}});

    // A code sent through one instance signs in through the other; a second sign-in through
    // the first ends that session everywhere.
    const std::string phone = "13600002222";
    ASSERT_EQ(SendCode(*a_, phone), 0);
    const Answer login =
        Post(b_->Url() + "/login/sms",
             nlohmann::json{{"phone", phone}, {"code", a_->CodeFor(phone)}}.dump());
    ASSERT_EQ(login.Code(), 0) << login.body;
    const std::string first = login.Data()["accessToken"];
    EXPECT_EQ(Get(a_->Url() + "/user/info", first).Code(), 0);

    // The per-phone cap counts the sends of both instances; so does the per-address one.
    ASSERT_EQ(SendCode(*b_, phone), 0);
    EXPECT_EQ(SendCode(*a_, phone), 10429);
    EXPECT_EQ(SendCode(*b_, "13600003333"), 0);
    EXPECT_EQ(SendCode(*a_, "13600004444"), 10429);
    const Answer relogin =
        Post(a_->Url() + "/login/sms",
             nlohmann::json{{"phone", phone}, {"code", b_->CodeFor(phone)}}.dump());
    ASSERT_EQ(relogin.Code(), 0) << relogin.body;
    EXPECT_EQ(Get(b_->Url() + "/user/info", first).Code(), 10505);

    // A QR sign-in started on one instance, confirmed on the other, claimed once.
    const Answer info = Get(a_->Url() + "/login/qq/oauth-info");
    ASSERT_EQ(info.Code(), 0) << info.body;
    const std::string state = info.Data()["state"];
    const std::string poll = nlohmann::json{{"state", state}}.dump();
    EXPECT_EQ(Post(b_->Url() + "/login//qq/ouath", poll).Code(), 10603);
    const std::string confirm = "provider=qq&state=" + state + "&account=bob&nickname=Bob&csrf=" +
                                FormToken(a_->Url() + "/pages/qr-login?provider=qq&state=" + state);
    EXPECT_EQ(Post(b_->Url() + "/pages/qr-login", confirm, "", kForm).httpCode, 200);
    EXPECT_EQ(Post(a_->Url() + "/pages/qr-login", confirm, "", kForm).httpCode, 404);
    const Answer claimed = Post(a_->Url() + "/login//qq/ouath", poll);
    ASSERT_EQ(claimed.Code(), 0) << claimed.body;
    EXPECT_EQ(Post(b_->Url() + "/login//qq/ouath", poll).Code(), 10604);
    const Answer bob = Get(b_->Url() + "/user/info", claimed.Data()["accessToken"]);
    EXPECT_EQ(bob.Code(), 0);
    EXPECT_EQ(bob.Data()["nickname"], "Bob");
}

TEST_F(BackendPostgresTest, AnOutageAnswers10500AndTheInstanceRecovers) {
    StartBoth();
    const std::string token = SignIn(*a_, "13600005555");
    ASSERT_FALSE(token.empty()) << a_->Log();

    ASSERT_TRUE(server_.Stop()) << server_.Error();
    EXPECT_EQ(Get(a_->Url() + "/user/info", token).Code(), 10500);
    EXPECT_EQ(Post(b_->Url() + "/trans/save-nums", R"({"logId":"down"})", token).Code(), 10500);
    EXPECT_EQ(Get(a_->Url() + "/healthz").Code(), 0);
    // Starting without the database fails at once and says why.
    TempDir dirC;
    {
        BackendProcess c(dirC, {{"database", server_.Url()}});
        EXPECT_TRUE(c.Url().empty());
        EXPECT_NE(c.Log().find("cannot open the database"), std::string::npos) << c.Log();
    }
    ASSERT_TRUE(server_.Start()) << server_.Error();
    EXPECT_EQ(Get(a_->Url() + "/user/info", token).Code(), 0);
    EXPECT_EQ(Post(b_->Url() + "/trans/save-nums", R"({"logId":"up"})", token).Code(), 0);

    // A schema newer than this back-end knows is refused rather than misread.
    ASSERT_EQ(server_.Query("UPDATE schema_version SET version=version+1 RETURNING version"), "2");
    {
        BackendProcess c(dirC, {{"database", server_.Url()}});
        EXPECT_TRUE(c.Url().empty());
        EXPECT_NE(c.Log().find("newer back-end"), std::string::npos) << c.Log();
    }
}

}  // namespace
}  // namespace vl::test
