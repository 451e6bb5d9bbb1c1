// The program's account engine against the real back-end: phone and QR sign-in, the gift, the
// usage charges of real translations, and the sign-out when the account signs in elsewhere.
#include "tests/backend/backend_process.h"
#include "tests/support/account_backend.h"

namespace vl::test {
namespace {

constexpr const char* kPhone = "13800005678";

class BackendAccountTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(backend_.Url().empty()) << backend_.Log();
        ASSERT_TRUE(run_.ok);
    }

    // Signs in through the engine as the login window does; the account it reports.
    UserInfo SignInWithPhone() {
        EXPECT_TRUE(manager_->RequestPhoneCode(kPhone));
        const auto sent = listener_.WaitFor(WM_USER_MANAGER_REQUEST_PHONE_CODE);
        EXPECT_TRUE(sent && sent->wParam == 1);
        EXPECT_TRUE(manager_->LoginPhone(kPhone, backend_.CodeFor(kPhone)));
        const auto login = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
        EXPECT_TRUE(login && login->wParam == 1) << backend_.Log();
        return login ? login->info : UserInfo{};
    }

    std::int64_t CountRows(const char* table) { return vl::test::CountRows(dir_, table); }

    TempDir dir_;
    BackendProcess backend_{dir_, {{"quota", {{"free_daily", 2}, {"gift", 1}}}}};
    ListenerWindow listener_;
    AccountEngineRun run_{backend_.Url(), listener_.Hwnd()};
    UserManager* manager_ = run_.manager;
};

TEST_F(BackendAccountTest, PhoneSignInGivesTheAccountItsGiftOnceAndKeepsNoSecrets) {
    const UserInfo info = SignInWithPhone();
    EXPECT_EQ(info.loginType, LoginType::Phone);
    EXPECT_FALSE(info.userId.empty());
    EXPECT_EQ(info.nickname, "用户5678");
    EXPECT_EQ(info.freeNums, 2);
    EXPECT_EQ(info.nums, 2);
    EXPECT_TRUE(info.freeGift);  // not taken yet

    // As the main window asks for it after each sign-in: the text once, then nothing.
    const vl::Http::Headers headers{{"Content-Type", "application/json"},
                                    {"Access-Token", info.token}};
    std::string contents[2];
    for (std::string& content : contents) {
        const vl::Http::Result r =
            vl::Http::Instance()->Sync({.verb = vl::net::Verb::Post,
                                        .url = vl::ServiceUrl("/gift/free-nums/get"),
                                        .headers = headers});
        ASSERT_TRUE(r.ok) << r.error;
        content = nlohmann::json::parse(r.response)["data"]["content"];
    }
    EXPECT_NE(contents[0], "");
    EXPECT_EQ(contents[1], "");
    const UserInfo after = manager_->UpdateSync();
    EXPECT_EQ(after.vipNums, 1);
    EXPECT_EQ(after.nums, 3);
    EXPECT_FALSE(after.freeGift);

    // The token is kept only as a hash, and neither it nor the code's line leaks elsewhere.
    std::string stored = dir_.Read("backend.db");
    for (const char* extra : {"backend.db-wal"}) {
        if (std::filesystem::exists(dir_.File(extra)))
            stored += dir_.Read(extra);
    }
    EXPECT_EQ(stored.find(info.token), std::string::npos);
    EXPECT_EQ(backend_.Log().find(info.token), std::string::npos);
}

TEST_F(BackendAccountTest, QrSignInCompletesThroughTheConfirmationPage) {
    ASSERT_TRUE(manager_->LoginQQ());
    std::string url;
    ASSERT_TRUE(WaitUntil([&] {
        const auto opened = run_.opened.Get();
        url = opened.empty() ? "" : opened.back();
        return !url.empty();
    }));
    const Answer page = Get(url);
    ASSERT_EQ(page.httpCode, 200);
    EXPECT_NE(page.body.find("确认登录"), std::string::npos);
    EXPECT_NE(page.body.find("data:image/png;base64,"), std::string::npos);
    // Polls before the confirmation are answered "waiting" and sign nobody in.
    ASSERT_TRUE(WaitUntil([&] { return LogCapture::Get()->Contains("code 10603"); }));
    EXPECT_TRUE(listener_.Messages(WM_USER_MANAGER_LOGIN).empty());

    const std::string state = url.substr(url.find("state=") + 6);
    const std::string form = "provider=qq&state=" + state + "&account=alice&nickname=Alice" +
                             "&csrf=" + FormTokenIn(page.body);
    const std::string pagePath = backend_.Url() + "/pages/qr-login";
    const Answer confirmed = Post(pagePath, form, "", "application/x-www-form-urlencoded");
    EXPECT_EQ(confirmed.httpCode, 200);
    const auto login = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(login && login->wParam == 1);
    EXPECT_EQ(login->info.loginType, LoginType::QQ);
    EXPECT_EQ(login->info.nickname, "Alice");
    // The state served its one sign-in.
    EXPECT_EQ(Post(pagePath, form, "", "application/x-www-form-urlencoded").httpCode, 404);
}

TEST_F(BackendAccountTest, ASecondSignInSignsTheFirstOut) {
    const UserInfo first = SignInWithPhone();
    const std::string second = SignIn(backend_, kPhone);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(Get(backend_.Url() + "/user/info", first.token).Code(), 10505);
    ASSERT_TRUE(manager_->Update());
    EXPECT_TRUE(listener_.WaitFor(WM_USER_MANAGER_NEED_LOGIN));
    EXPECT_EQ(Get(backend_.Url() + "/user/info", second).Code(), 0);
}

TEST_F(BackendAccountTest, TranslationsChargeTheFreeQuotaThenPacksAndStopAtZero) {
    const UserInfo info = SignInWithPhone();
    const auto translate = [&](const std::string& logId) {
        manager_->TranslateEnd({.ok = true,
                                .logId = logId,
                                .errInfo = "",
                                .fromLang = "jap",
                                .toLang = "chs",
                                .lines = {{"こんにちは", "你好"}},
                                .ocrVendor = "baidu",
                                .ocrTime = 120,
                                .transVendor = "youdao",
                                .transTime = 80});
    };
    // The program's own bodies are accepted, and its reading of the answers follows the counts.
    translate("L1");
    ASSERT_TRUE(WaitUntil([&] { return manager_->GetUser().freeNums == 1; }));
    translate("L2");
    ASSERT_TRUE(WaitUntil([&] { return manager_->GetUser().freeNums == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return CountRows("reports") == 2; }));

    const std::string url = backend_.Url() + "/trans/save-nums";
    ASSERT_EQ(Post(backend_.Url() + "/gift/free-nums/get", "", info.token).Code(), 0);
    const Answer pack = Post(url, R"({"logId":"L3"})", info.token);
    ASSERT_EQ(pack.Code(), 0);
    EXPECT_EQ(pack.Data(),
              nlohmann::json::parse(R"({"unlimited":false,"freeNums":0,"vipNums":0,"nums":0})"));
    EXPECT_EQ(Post(url, R"({"logId":"L4"})", info.token).Code(), 10701);
    // A charge sent again is not counted again.
    EXPECT_EQ(Post(url, R"({"logId":"L3"})", info.token).Code(), 0);
    EXPECT_EQ(CountRows("charges"), 3);
}

}  // namespace
}  // namespace vl::test
