// Orders against the real back-end: paid on its payment page, applied to the account once.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "tests/backend/backend_process.h"
#include "utils/vl_base64.h"
#include "utils/vl_http.h"

namespace vl::test {
namespace {

class BackendShopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(backend_.Url().empty()) << backend_.Log();
        ASSERT_TRUE(vl::Http::Instance()->Init());
        token_ = SignIn(backend_, "13900001111");
        ASSERT_FALSE(token_.empty()) << backend_.Log();
    }
    void TearDown() override { vl::Http::Instance()->Uninit(); }

    Answer Submit(int goodsId, int payMethod, int goodsType = 1) {
        return Post(
            backend_.Url() + "/order/submit",
            nlohmann::json{{"goodsId", goodsId}, {"payMethod", payMethod}, {"goodsType", goodsType}}
                .dump(),
            token_);
    }
    // Sends the form of the order's payment page, as its button does.
    Answer Confirm(const std::string& orderNo, std::int64_t amountFen) {
        std::string& csrf = formTokens_[orderNo];
        if (csrf.empty()) {
            csrf = FormTokenIn(Get(backend_.Url() + "/pages/pay?orderNo=" + orderNo).body);
        }
        return Post(backend_.Url() + "/pages/pay",
                    "orderNo=" + orderNo + "&amount=" + std::to_string(amountFen) + "&csrf=" + csrf,
                    "", "application/x-www-form-urlencoded");
    }
    int Status(const std::string& orderNo, const std::string& token) {
        const Answer a = Get(backend_.Url() + "/order/detail?version=1&orderNo=" + orderNo, token);
        return a.Code() == 0 ? a.Data().value("status", -1) : a.Code();
    }
    nlohmann::json Account() { return Get(backend_.Url() + "/user/info", token_).Data(); }

    TempDir dir_;
    BackendProcess backend_{dir_};
    std::string token_;
    std::map<std::string, std::string> formTokens_;
};

TEST_F(BackendShopTest, AMembershipPaidOnThePageIsAppliedOnceEvenWhenConfirmedTwice) {
    const Answer order = Submit(1, 10);  // 31 days, Alipay: the payment page's address
    ASSERT_EQ(order.Code(), 0) << order.body;
    const std::string orderNo = order.Data()["orderNo"];
    EXPECT_TRUE(std::all_of(orderNo.begin(), orderNo.end(), ::isalnum)) << orderNo;
    const Answer page = Get(order.Data()["appPayParams"]["url"]);
    EXPECT_NE(page.body.find("确认支付"), std::string::npos);
    EXPECT_EQ(Status(orderNo, token_), 1);
    EXPECT_EQ(Confirm(orderNo, 1700).httpCode, 400);  // not the order's amount
    EXPECT_EQ(Status(orderNo, token_), 1);

    // Two confirmations at once, as a provider retrying its notification would send them.
    Answer results[2];
    std::thread other([&] { results[1] = Confirm(orderNo, 1800); });
    results[0] = Confirm(orderNo, 1800);
    other.join();
    EXPECT_EQ(results[0].httpCode, 200);
    EXPECT_EQ(results[1].httpCode, 200);
    EXPECT_EQ(Status(orderNo, token_), 2);

    const nlohmann::json account = Account();
    EXPECT_EQ(account["vipLevel"], 1);
    ASSERT_EQ(account["vips"].size(), 1u);
    EXPECT_EQ(account["vips"][0]["goodsId"], 1);
    EXPECT_EQ(account["vips"][0]["unlimitedNums"], 1);
    // Unlimited members are not counted.
    const Answer charge = Post(backend_.Url() + "/trans/save-nums", R"({"logId":"x"})", token_);
    EXPECT_EQ(charge.Data()["unlimited"], true);
    EXPECT_EQ(Account()["freeNums"], account["freeNums"]);

    // Only the order's own account sees it.
    const std::string stranger = SignIn(backend_, "13900002222");
    EXPECT_EQ(Status(orderNo, stranger), 10804);
}

TEST_F(BackendShopTest, ATranslationPackIsPaidThroughItsQrCode) {
    const Answer order = Submit(11, 9);  // 100 translations, WeChat Pay: a QR image
    ASSERT_EQ(order.Code(), 0) << order.body;
    const std::string png = vl::FromBase64(order.Data()["appPayParams"]["qr"]);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(Confirm(order.Data()["orderNo"], 600).httpCode, 200);
    EXPECT_EQ(Confirm(order.Data()["orderNo"], 600).httpCode, 200);
    EXPECT_EQ(Account()["vipNums"], 100);

    EXPECT_EQ(Submit(4, 9, 2).Code(), 10802);   // Alipay only
    EXPECT_EQ(Submit(11, 9, 2).Code(), 10803);  // the catalogue says otherwise
    EXPECT_EQ(Submit(999, 9).Code(), 10801);
}

}  // namespace
}  // namespace vl::test
