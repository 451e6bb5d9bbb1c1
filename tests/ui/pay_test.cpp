#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <future>
#include <thread>

#include "logic/user_manager.h"
#include "tests/backend/backend_process.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_util.h"
#include "ui/pay_ali_wnd.h"
#include "ui/pay_done_wnd.h"
#include "ui/pay_wechat_wnd.h"
#include "ui/pay_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/container.h"
#include "ui/skin/label.h"
#include "ui/skin/option.h"
#include "ui/skin/run_modal.h"
#include "ui/skin/text.h"
#include "utils/vl_base64.h"
#include "utils/vl_env.h"
#include "utils/vl_file.h"
#include "utils/vl_string.h"

namespace fs = std::filesystem;
using vl::test::FindOpenWindow;
using vl::test::LogCapture;

namespace {

constexpr char kWechat[] = "velmora_pay_wechat_wnd";
constexpr char kAli[] = "velmora_pay_ali_wnd";
constexpr char kDone[] = "velmora_pay_done_wnd";
constexpr char kRetry[] = "velmora_pay_retry_wnd";

std::string Text(skin::Window* w, const char* name) {
    return vl::ToUtf8(w->Manager().FindControl(name)->GetText());
}
void Click(skin::Window* w, const char* name) {
    QTest::mouseClick(w->Manager().FindControl(name)->GetWidget(), Qt::LeftButton);
}
// The text of control `name` in the index-th goods tile.
std::string TileText(int index, const char* name) {
    auto* goods = PayWnd::Instance()->Manager().FindControl<skin::Container>("goods");
    auto* tile = dynamic_cast<skin::Container*>(goods->GetItemAt(index));
    return tile != nullptr ? vl::ToUtf8(tile->FindSubControl(name)->GetText()) : "";
}

// Steps a test takes while a modal run holds it, each run from the event loop once the window
// it names is open and its condition holds. After ten seconds every window still open is closed,
// so a broken flow fails instead of hanging.
class Script {
public:
    struct Step {
        const char* window;
        std::function<bool(skin::Window*)> ready;
        std::function<void(skin::Window*)> act;
    };
    explicit Script(std::vector<Step> steps) : steps_(std::move(steps)) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(5);
    }
    bool Done() const { return next_ == steps_.size(); }

private:
    void Tick() {
        if (Done()) {
            timer_.stop();
        } else if (clock_.hasExpired(10000)) {
            for (const char* name : {kDone, kRetry, kWechat, kAli})
                if (skin::Window* w = FindOpenWindow(name))
                    w->Close(1);
        } else if (skin::Window* w = FindOpenWindow(steps_[next_].window);
                   w != nullptr && steps_[next_].ready(w)) {
            steps_[next_++].act(w);
        }
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
};

std::string Answer(const std::string& data) {
    return R"({"code":0,"msg":"ok","data":)" + data + "}";
}

std::string PngBytes() {
    QImage image(29, 29, QImage::Format_RGB32);
    image.fill(Qt::white);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data().toStdString();
}

// The order paths, the catalogue and the account on a loopback stand-in of the back-end.
class PayTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* path : {"/goods/list", "/order/detail", "/user/info"})
            server_.Route(false, path);
        server_.Route(true, "/order/submit");
        server_.Start();
        UseBackend(server_.Url());
        ASSERT_TRUE(vl::Http::Instance()->Init());
        vl::Http::SetUrlOpener([this](const std::string& url) {
            opened_.push_back(url);
            return true;
        });
        LogCapture::Get()->Clear();
        PayOrderWnd::SetPollInterval(std::chrono::hours(1));  // only "done" asks, unless told
    }
    void TearDown() override {
        PayOrderWnd::SetPollInterval(PayOrderWnd::kPollEvery);
        if (PayWnd::Instance()->GetHWND() != nullptr)
            PayWnd::Instance()->Destroy();
        std::u16string err;
        UserManager::Instance()->GetUserInfo("", LoginType::None, err);
        vl::Http::Instance()->Uninit();
        vl::Http::SetUrlOpener(nullptr);
        vl::SetServices(saved_);
    }
    void UseBackend(const std::string& url) {
        vl::ServiceConfig config = saved_;
        config.backend.url = url;
        vl::SetServices(config);
    }
    // Shows the purchase window and waits for the catalogue.
    PayWnd* ShowPay(std::size_t vipGoods) {
        PayWnd* pay = PayWnd::Instance();
        if (pay->GetHWND() == nullptr)
            pay->Create(nullptr, u"Velmora翻译-支付", skin::WS_POPUP, 0);
        pay->ShowWindow(true);
        EXPECT_TRUE(vl::test::RunUntil([&] { return pay->VipGoods().size() == vipGoods; }));
        return pay;
    }
    void SignIn(const std::string& token) {
        server_.Set("/user/info", 200, vl::test::AccountBackend::UserInfoAnswer("u1", "小明"));
        std::u16string err;
        ASSERT_TRUE(UserManager::Instance()->GetUserInfo(token, LoginType::Phone, err));
    }

    vl::ServiceConfig saved_ = vl::Services();
    vl::test::LoopbackServer server_;
    std::vector<std::string> opened_;
};

}  // namespace

TEST_F(PayTest, CatalogueFillsTheTabsAndTheChosenGoodDecidesPriceAndPayMethods) {
    auto good = [](int id, int tab, const std::string& rest) {
        return R"({"goodsId":)" + std::to_string(id) + R"(,"goodsName":"good)" +
               std::to_string(id) + R"(","goodsDesc":"desc)" + std::to_string(id) +
               R"(","goodsGroup":1,"goodsTabId":)" + std::to_string(tab) +
               R"(,"oriPrice":"30","unitPrice":1,"unitTime":"月","badge":"",)" + rest + "}";
    };
    const std::string feature =
        R"("features":[{"enable":1,"title":"不限次数","code":"u","icon":""}])";
    server_.Set(
        "/goods/list", 200,
        Answer(
            R"({"goods":[)" +
            good(1, 1,
                 R"("price":"9.9","goodsCategory":1,"unlimitedNums":1,"transNums":0,)" + feature) +
            "," +
            good(4, 1,
                 R"("price":198,"goodsCategory":2,"unlimitedNums":1,"transNums":0,"features":[])") +
            "," +
            good(
                12, 2,
                R"("price":25,"goodsCategory":1,"unlimitedNums":0,"transNums":500,"features":[])") +
            "," +
            good(30, 3,
                 R"("price":1,"goodsCategory":1,"unlimitedNums":0,"transNums":1,"features":[])") +
            "," +
            good(31, 1,
                 R"("price":1,"goodsCategory":"1","unlimitedNums":0,"transNums":1,"features":[])") +
            "]}"));
    PayWnd* pay = ShowPay(2);
    ASSERT_EQ(pay->CountGoods().size(), 1u);
    EXPECT_DOUBLE_EQ(pay->VipGoods()[0].price, 9.9);
    EXPECT_EQ(pay->VipGoods()[0].features[0].key, "不限次数");
    EXPECT_TRUE(LogCapture::Get()->Contains("read value failed"));
    EXPECT_TRUE(LogCapture::Get()->Contains("tab id 3 is not supported"));
    EXPECT_TRUE(LogCapture::Get()->Contains("ParseOneGood failed"));  // the category as text

    EXPECT_EQ(TileText(0, "good_name"), "good1");
    EXPECT_EQ(TileText(0, "good_brief"), "不限次数翻译");
    EXPECT_EQ(TileText(0, "good_price"), "9.9");  // charged 9.9, never shown as 9
    EXPECT_EQ(Text(pay, "price"), "9.9");
    EXPECT_EQ(Text(pay, "discount"), "desc1");
    EXPECT_EQ(pay->Selected().goodsId, 1);
    auto* goods = pay->Manager().FindControl<skin::Container>("goods");
    Click(pay, "ali_opt");
    Click(pay, "wechat_opt");
    QTest::mouseClick(dynamic_cast<skin::Container*>(goods->GetItemAt(1))
                          ->FindSubControl("good_opt")
                          ->GetWidget(),
                      Qt::LeftButton);
    EXPECT_EQ(pay->Selected().goodsId, 4);  // Alipay only
    EXPECT_FALSE(pay->Manager().FindControl("wechat")->IsVisible());
    EXPECT_TRUE(pay->Manager().FindControl<skin::Option>("ali_opt")->IsSelected());

    emit pay->Manager().FindControl<skin::Text>("protocol")->linkActivated("vl-link:0");
    EXPECT_EQ(opened_, (std::vector<std::string>{server_.Url("/pages/vip-agreement")}));

    Click(pay, "count");
    EXPECT_EQ(TileText(0, "good_brief"), "可使用500次");
    EXPECT_EQ(TileText(0, "good_price"), "25");
    EXPECT_EQ(pay->Selected().goodsId, 12);
    EXPECT_TRUE(pay->Manager().FindControl("wechat")->IsVisible());
}

TEST_F(PayTest, WechatOrderKeepsItsQrInTheCacheAndRefusesOrderNumbersThatAreNoFileName) {
    const std::string png = PngBytes();
    const std::string cache = vl::ToString(vl::CacheDir());
    const fs::path outside = fs::path(cache) / ".." / ".." / "x.png";
    fs::remove(outside);
    server_.Set(
        "/order/submit", 200,
        Answer(R"({"orderNo":"../../x","appPayParams":{"qr":")" + vl::ToBase64(png) + "\"}}"));
    std::string firstStatus;
    Script script(
        {{kWechat, [](skin::Window* w) { return !Text(w, "status").empty(); },
          [&](skin::Window* w) {
              firstStatus = Text(w, "status");
              server_.Set("/order/submit", 200,
                          Answer(R"({"orderNo":"2024ABC","appPayParams":{"qr":")" +
                                 vl::ToBase64(png) + "\"}}"));
              Click(w, "retry");
          }},
         {kWechat, [](skin::Window* w) { return !static_cast<PayWechatWnd*>(w)->QrFile().empty(); },
          [&](skin::Window* w) {
              EXPECT_EQ(Text(w, "status"), "");  // cleared by the new attempt
              EXPECT_FALSE(w->Manager().FindControl("retry")->IsEnabled());
              EXPECT_FALSE(w->Manager().FindControl("qr")->GetBkImage().empty());
              EXPECT_EQ(Text(w, "price"), "25");
              Click(w, "close");
          }}});
    SignIn("tok-1");
    EXPECT_EQ(
        skin::RunModal<PayWechatWnd>(nullptr, u"Velmora翻译-支付", PayOrder{12, "500次", 1, 25}),
        1u);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(firstStatus, "下单失败，请重试");
    EXPECT_FALSE(fs::exists(outside));
    std::string written;
    std::string error;
    ASSERT_EQ(vl::ReadWholeFile(cache + "/2024ABC.png", written, error), vl::ReadFileResult::Ok);
    EXPECT_EQ(written, png);
    fs::remove(cache + "/2024ABC.png");
    const auto sent = server_.Requests("/order/submit");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body, R"({"goodsId":12,"goodsType":1,"payMethod":9})");
    EXPECT_EQ(sent[0].Header("Access-Token"), "tok-1");
}

TEST_F(PayTest, DoneAsksForTheStateAndOnlyTheNumberTwoCountsAsPaid) {
    const std::string page = "http://127.0.0.1:9/pages/pay?orderNo=A-1_b";
    server_.Set("/order/submit", 200,
                Answer(R"({"orderNo":"A-1_b","appPayParams":{"url":")" + page + "\"}}"));
    server_.Set("/order/detail", 500, "busy");
    auto always = [](skin::Window*) { return true; };
    auto done = [&](const std::string& answer) {
        return [this, answer](skin::Window* w) {
            server_.Set("/order/detail", 200, Answer(answer));
            Click(w, "done");
        };
    };
    std::vector<std::string> status;
    Script unpaid({{kAli, [&](skin::Window*) { return opened_.size() == 1; },
                    [&](skin::Window* w) { Click(w, "done"); }},
                   {kAli, [](skin::Window* w) { return !Text(w, "status").empty(); },
                    [&](skin::Window* w) {
                        status.push_back(Text(w, "status"));
                        done(R"({"status":1})")(w);
                    }},
                   {kRetry, always, [](skin::Window* w) { Click(w, "retry"); }},
                   {kAli, [&](skin::Window* w) { return w->IsVisible() && opened_.size() == 2; },
                    [&](skin::Window* w) {
                        status.push_back(Text(w, "status"));
                        done(R"({"status":"2"})")(w);
                    }},
                   {kRetry, always, [](skin::Window* w) { Click(w, "close"); }}});
    EXPECT_EQ(
        skin::RunModal<PayAliWnd>(nullptr, u"Velmora翻译-支付", PayOrder{3, "年度会员", 1, 128}),
        1u);
    EXPECT_TRUE(unpaid.Done());
    EXPECT_EQ(status, (std::vector<std::string>{"查询订单失败，请重试", ""}));
    EXPECT_EQ(opened_, (std::vector<std::string>{page, page}));  // the page again after "retry"
    const auto asked = server_.Requests("/order/detail");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_NE(asked[0].target.find("&orderNo=A-1_b"), std::string::npos);

    Script paid(
        {{kAli, [&](skin::Window*) { return opened_.size() == 3; }, done(R"({"status":2})")},
         {kDone, always, [](skin::Window* w) { Click(w, "known"); }}});
    EXPECT_EQ(
        skin::RunModal<PayAliWnd>(nullptr, u"Velmora翻译-支付", PayOrder{3, "年度会员", 1, 128}),
        1u);
    EXPECT_TRUE(paid.Done());
}

// An open payment window notices the payment by itself: never two questions at once, unpaid
// answers show nothing, and closing the window ends the questions.
TEST_F(PayTest, AnOpenWindowAsksForTheStateByItselfOneAtATimeUntilPaid) {
    PayOrderWnd::SetPollInterval(std::chrono::milliseconds(5));
    server_.Set("/order/submit", 200,
                Answer(R"({"orderNo":"P-1","appPayParams":{"url":"http://127.0.0.1:9/p"}})"));
    std::atomic<int> inFlight{0}, most{0}, asked{0};
    server_.Set("/order/detail", [&](const httplib::Request&) {
        most = std::max(most.load(), ++inFlight);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        --inFlight;
        return vl::test::LoopbackServer::Reply{
            200, Answer(++asked < 4 ? R"({"status":1})" : R"({"status":2})")};
    });
    Script paid(
        {{kDone, [](skin::Window*) { return true; }, [](skin::Window* w) { Click(w, "known"); }}});
    EXPECT_EQ(
        skin::RunModal<PayAliWnd>(nullptr, u"Velmora翻译-支付", PayOrder{3, "年度会员", 1, 1}), 1u);
    EXPECT_TRUE(paid.Done() && asked == 4 && most == 1);

    // Unpaid for good: nothing is shown until the user closes the window; then no more asking.
    asked = -1000;
    Script unpaid({{kAli, [&](skin::Window*) { return asked > -995; },
                    [](skin::Window* w) {
                        EXPECT_TRUE(w->IsVisible() && FindOpenWindow(kRetry) == nullptr);
                        Click(w, "close");
                    }}});
    skin::RunModal<PayAliWnd>(nullptr, u"Velmora翻译-支付", PayOrder{3, "年度会员", 1, 1});
    const int after = asked;
    QTest::qWait(100);
    EXPECT_TRUE(unpaid.Done() && asked <= after + 1);  // one may have been on its way
}

TEST_F(PayTest, AnAnswerArrivingAfterItsWindowClosedIsFreedUnread) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    server_.Set("/order/submit", [released](const httplib::Request&) {
        released.wait_for(std::chrono::seconds(5));
        return vl::test::LoopbackServer::Reply{
            200, Answer(R"({"orderNo":"LATE1","appPayParams":{"qr":")" + vl::ToBase64(PngBytes()) +
                        "\"}}")};
    });
    Script script(
        {{kWechat, [&](skin::Window*) { return server_.Requests("/order/submit").size() == 1; },
          [](skin::Window* w) { Click(w, "close"); }}});
    skin::RunModal<PayWechatWnd>(nullptr, u"Velmora翻译-支付", PayOrder{12, "500次", 1, 25});
    ASSERT_TRUE(script.Done());
    release.set_value();
    // Completions run in order: once a later request's has run, the late answer was posted.
    std::atomic<bool> later{false};
    vl::Http::Instance()->GetAsync([&](bool, const std::string&, std::int32_t, const std::string&,
                                       const auto&...) { later = true; },
                                   server_.Url("/goods/list"), {});
    ASSERT_TRUE(vl::test::RunUntil([&] { return later.load(); }));
    vl::test::ProcessEvents();
    EXPECT_FALSE(fs::exists(vl::ToString(vl::CacheDir()) + "/LATE1.png"));
}

TEST_F(PayTest, AMembershipBoughtAgainstTheRealBackendShowsItsNewEnd) {
    vl::test::TempDir dir;
    vl::test::BackendProcess backend(dir);
    UseBackend(backend.Url());
    UserManager* users = UserManager::Instance();
    std::u16string err;
    ASSERT_TRUE(
        users->GetUserInfo(vl::test::SignIn(backend, "13800001234"), LoginType::Phone, err));
    ASSERT_TRUE(users->Open());
    PayWnd* pay = ShowPay(4);
    users->AddListener(pay->GetHWND());
    ASSERT_EQ(pay->Selected().goodsId, 1);  // the monthly membership comes first
    std::string orderNo, deadline;
    Script script(
        {{kWechat, [](skin::Window* w) { return !static_cast<PayWechatWnd*>(w)->QrFile().empty(); },
          [&](skin::Window* w) {
              orderNo = static_cast<PayWechatWnd*>(w)->OrderNo();
              const auto cents = std::llround(pay->Selected().price * 100);
              // What the payment page's "确认支付" sends, with the page's own form token.
              const std::string csrf = vl::test::FormTokenIn(
                  vl::test::Get(backend.Url() + "/pages/pay?orderNo=" + orderNo).body);
              EXPECT_EQ(vl::test::Post(backend.Url() + "/pages/pay",
                                       "orderNo=" + orderNo + "&amount=" + std::to_string(cents) +
                                           "&csrf=" + csrf,
                                       "", "application/x-www-form-urlencoded")
                            .httpCode,
                        200);
              Click(w, "done");
          }},
         {kDone, [](skin::Window* w) { return Text(w, "deadline").rfind("会员有效期至", 0) == 0; },
          [&](skin::Window* w) {
              deadline = Text(w, "deadline");
              Click(w, "known");
          }}});
    Click(pay, "pay");
    EXPECT_TRUE(script.Done());
    const UserInfo user = users->GetUser();
    const auto ahead = std::chrono::nanoseconds(ToEpochNanoseconds(user.vipEnd)) -
                       std::chrono::system_clock::now().time_since_epoch();
    EXPECT_TRUE(user.isVip);
    EXPECT_GT(ahead, std::chrono::hours(24 * 30));
    EXPECT_LT(ahead, std::chrono::hours(24 * 32));
    EXPECT_TRUE(
        vl::test::RunUntil([&] { return Text(pay, "tip") == deadline; }));  // the header too
    users->RemoveListener(pay->GetHWND());
    users->Close();
    fs::remove(vl::ToString(vl::CacheDir()) + "/" + orderNo + ".png");
}
