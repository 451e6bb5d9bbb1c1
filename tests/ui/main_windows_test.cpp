#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "config/config_manager.h"
#include "config/settings_document.h"
#include "protocol/backend_protocol.h"
#include "tests/support/account_backend.h"
#include "tests/ui/ui_test_util.h"
#include "ui/login_wnd.h"
#include "ui/main_wnd.h"
#include "ui/pay_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/combo.h"
#include "ui/skin/edit.h"
#include "ui/skin/option.h"
#include "ui/skin/text.h"
#include "ui/skin/window_widget.h"
#include "utils/vl_browser.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

using vl::test::AccountBackend;
using vl::test::LogCapture;
using vl::test::RunUntil;
namespace b = velmora::protocol;

namespace {

// Plays the user's part in the windows the code under test opens modally: runs the script of a
// window's class once per window. Message boxes are recorded as "title|message" and closed.
class User {
public:
    User() {
        On("velmora_common_msgbox_wnd", [this](skin::Window& w) {
            boxes.push_back(Text(w, "title") + "|" + Text(w, "msg"));
            Click(w, "ok");
        });
        timer_.callOnTimeout([this] { Look(); });
        timer_.start(10);
    }
    void On(const std::string& cls, std::function<void(skin::Window&)> script) {
        scripts_[cls] = std::move(script);
    }
    static std::string Text(skin::Window& w, const char* name) {
        return vl::ToUtf8(w.Manager().FindControl(name)->GetText());
    }
    static void Click(skin::Window& w, const char* name) {
        QTest::mouseClick(w.Manager().FindControl(name)->GetWidget(), Qt::LeftButton);
    }
    std::vector<std::string> boxes;

private:
    // A script runs from a timer of its own: Qt never fires a timer again while its handler
    // runs, and a script may open the next window in a modal loop.
    void Look() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* ww = qobject_cast<skin::WindowWidget*>(widget);
            skin::Window* w = ww != nullptr && ww->isVisible() ? ww->Owner() : nullptr;
            if (w == nullptr || !done_.insert(w->GetHWND()).second)
                continue;
            if (auto it = scripts_.find(w->GetWindowClassName()); it != scripts_.end()) {
                QTimer::singleShot(0, [script = it->second, hwnd = w->GetHWND()] {
                    if (skin::Window* open = skin::Window::FromHWND(hwnd))
                        script(*open);
                });
            }
        }
    }
    QTimer timer_;
    std::set<vl::HWND> done_;
    std::map<std::string, std::function<void(skin::Window&)>> scripts_;
};

std::string SettingsFile() {
    std::ifstream in(ConfigManager::Instance()->SettingsPath());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool NoTokenSaved() {
    return SettingsFile().find("<token/>") != std::string::npos;
}

template <class T = skin::Control>
T* Find(skin::Window* w, const char* name) {
    return w->Manager().FindControl<T>(name);
}

// The main and login windows as start-up makes them, listening to a running user manager that
// talks to a scripted back-end; the settings file beside the test starts from the defaults.
class MainWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        backend_ = new AccountBackend;
        ASSERT_TRUE(vl::Http::Instance()->Init());
        ConfigManager* settings = ConfigManager::Instance();
        std::filesystem::remove(settings->SettingsPath());
        ASSERT_TRUE(settings->Init());
        // A source language no picker item carries, and a text direction in other letter case.
        settings->conf().lang().src("xyz");
        settings->conf().lang().dst("eng");
        settings->conf().engine("Vertical");
        ASSERT_NE(main_->Create(nullptr, u"Velmora翻译-主窗口", skin::WS_POPUP, 0), nullptr);
        ASSERT_NE(login_->Create(nullptr, u"Velmora翻译-登录", skin::WS_POPUP, 0), nullptr);
        ASSERT_NE(pay_->Create(nullptr, u"Velmora翻译-支付", skin::WS_POPUP, 0), nullptr);
        main_->ShowWindow();
        ASSERT_TRUE(UserManager::Instance()->Open());
        UserManager::Instance()->AddListener(login_->GetHWND());
        UserManager::Instance()->AddListener(main_->GetHWND());
    }
    static void TearDownTestSuite() {
        UserManager::Instance()->Close();
        login_->Close();
        pay_->Close();
        main_->Close();
        vl::Http::Instance()->Uninit();
        delete backend_;
    }
    void TearDown() override {
        LogCapture::Get()->Clear();
        UserManager::Instance()->Logout("test over");
        RunUntil([] { return LogCapture::Get()->Has("logout, reason test over"); });
    }

    // Signs in with a token, as start-up does with a stored one.
    void SignIn(const std::string& nickname, const std::string& answer = "") {
        backend_->Set(b::kUserInfo.path, 200,
                      answer.empty() ? AccountBackend::UserInfoAnswer("u-1", nickname) : answer);
        backend_->Set(b::kGiftFreeNums.path, 200, R"({"code":0,"data":{"content":""}})");
        ASSERT_TRUE(UserManager::Instance()->LoginToken("tok-1"));
        ASSERT_TRUE(RunUntil([&] { return Find(main_, "nick")->IsVisible(); }));
    }

    static inline AccountBackend* backend_ = nullptr;
    static inline MainWnd* main_ = MainWnd::Instance();
    static inline LoginWnd* login_ = LoginWnd::Instance();
    static inline PayWnd* pay_ = PayWnd::Instance();
    User user_;
};

TEST_F(MainWindows, PhoneSignInFromTheNumberToTheNicknameAndTheSavedToken) {
    backend_->Set(b::kSmsSendCode.path, 200, R"({"code":0,"msg":"ok"})");
    backend_->Set(b::kLoginSms.path, 200, R"({"code":0,"msg":"ok","data":{"accessToken":"t-9"}})");
    backend_->Set(b::kUserInfo.path, 200, AccountBackend::UserInfoAnswer("u-9", "小明"));
    backend_->Set(b::kGiftFreeNums.path, 200, R"({"code":0,"data":{"content":"已赠送50次"}})");
    login_->ShowWindow();
    auto* phone = Find<skin::Edit>(login_, "phone");
    auto* gencode = Find<skin::Button>(login_, "gencode");
    QTest::keyClicks(phone, "1380000123");  // one digit short
    QTest::mouseClick(gencode, Qt::LeftButton);
    QTest::keyClicks(phone, "4");
    QTest::mouseClick(gencode, Qt::LeftButton);
    EXPECT_EQ(user_.boxes, std::vector<std::string>{"提示|手机号无效"});
    ASSERT_TRUE(backend_->WaitForRequests(b::kSmsSendCode.path, 1));
    EXPECT_EQ(backend_->Requests(b::kSmsSendCode.path)[0].body, R"({"phone":"13800001234"})");

    // The countdown, one tick per timer message: 60 … 1, then usable again.
    EXPECT_EQ(gencode->text(), "60");
    EXPECT_FALSE(gencode->isEnabled() || phone->isEnabled());
    for (int i = 0; i < 59; ++i)
        vl::SendMessage(login_->GetHWND(), vl::WM_TIMER, LoginWnd::kCountdownTimer, 0);
    EXPECT_EQ(gencode->text(), "1");
    EXPECT_FALSE(gencode->isEnabled());
    vl::SendMessage(login_->GetHWND(), vl::WM_TIMER, LoginWnd::kCountdownTimer, 0);
    EXPECT_EQ(gencode->text(), "获取验证码");
    EXPECT_TRUE(gencode->isEnabled() && phone->isEnabled());

    QTest::keyClicks(Find<skin::Edit>(login_, "code"), "624274");
    QTest::mouseClick(Find<skin::Button>(login_, "login"), Qt::LeftButton);  // not agreed yet
    QTest::mouseClick(Find<skin::Option>(login_, "agree"), Qt::LeftButton);
    QTest::mouseClick(Find<skin::Button>(login_, "login"), Qt::LeftButton);
    EXPECT_FALSE(phone->isEnabled());
    ASSERT_TRUE(RunUntil([] { return Find(main_, "nick")->IsVisible(); }));
    EXPECT_EQ(Find(main_, "nick")->GetText(), u"小明");
    EXPECT_FALSE(Find(main_, "login")->IsVisible());
    EXPECT_TRUE(Find(main_, "vip_sign")->IsVisible());
    EXPECT_FALSE(login_->IsVisible());
    EXPECT_NE(SettingsFile().find("<token>t-9</token>"), std::string::npos);
    ASSERT_TRUE(RunUntil([&] { return user_.boxes.size() == 3; }));
    EXPECT_EQ(user_.boxes[1], "提示|需要同意《用户协议》和《隐私政策》才能进行手机验证码登录");
    EXPECT_EQ(user_.boxes[2], "提示|已赠送50次");
    EXPECT_EQ(backend_->Requests(b::kGiftFreeNums.path).back().Header("Access-Token"), "t-9");

    // Start: the account is refreshed, the window hidden, the introduction shown once.
    ConfigManager::Instance()->conf().tip(false);
    for (int run = 0; run < 2; ++run) {
        main_->ShowWindow();
        QTest::mouseClick(Find<skin::Button>(main_, "launch"), Qt::LeftButton);
        EXPECT_FALSE(main_->IsVisible());
    }
    EXPECT_EQ(user_.boxes.size(), 4u);
    EXPECT_EQ(user_.boxes[3], "悬浮球功能介绍|左键点击悬浮球开始翻译，右键点击悬浮球修改翻译区域");
    EXPECT_NE(SettingsFile().find("<tip>true</tip>"), std::string::npos);
    main_->ShowWindow();
}

// The box of a failed request opens once the user manager's thread is free again: a logout the
// user asks for meanwhile is carried out while the box is still open.
TEST_F(MainWindows, RefusedCodeAndTakenOverAccountShowTheirBoxesWithoutHoldingTheManager) {
    backend_->Set(b::kSmsSendCode.path, 200, R"({"code":10429,"msg":"太频繁"})");
    login_->ShowWindow();
    Find<skin::Edit>(login_, "phone")->setText("13800001234");
    QTest::mouseClick(Find<skin::Button>(login_, "gencode"), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return !user_.boxes.empty(); }));
    EXPECT_EQ(user_.boxes[0], "提示|获取验证码失败");
    EXPECT_TRUE(Find(login_, "gencode")->IsEnabled());

    SignIn("老王");
    bool signedOutWhileOpen = false;
    user_.On("velmora_common_msgbox_wnd", [&](skin::Window& w) {
        user_.boxes.push_back(User::Text(w, "msg"));
        signedOutWhileOpen =
            RunUntil([] { return Find(main_, "login")->IsVisible() && NoTokenSaved(); });
        User::Click(w, "ok");
    });
    backend_->Set(b::kUserInfo.path, 200, R"({"code":10505,"msg":"token expired"})");
    ASSERT_TRUE(UserManager::Instance()->Update());
    ASSERT_TRUE(RunUntil([&] { return user_.boxes.size() == 2; }));
    EXPECT_EQ(user_.boxes[1], "账号已在新设备登录，本机已退出登录");
    EXPECT_TRUE(signedOutWhileOpen);
    EXPECT_FALSE(Find(main_, "nick")->IsVisible());
}

TEST_F(MainWindows, AccountPageShowsTheMembershipAndItsLogoutSignsOut) {
    SignIn("老王");  // a member until 2030-01-02
    std::string id, tip;
    user_.On("velmora_main_user_wnd", [&](skin::Window& w) {
        id = User::Text(w, "id");
        tip = User::Text(w, "tip");
        User::Click(w, "logout");
    });
    user_.On("velmora_main_logout_wnd", [](skin::Window& w) {
        main_->ShowWindow(false);  // as if the capture were armed
        User::Click(w, "ok");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "nick"), Qt::LeftButton);
    EXPECT_EQ(id, "ID: u-1");
    EXPECT_EQ(tip, "会员有效期至2030年1月2日");
    EXPECT_TRUE(RunUntil([] { return Find(main_, "login")->IsVisible() && NoTokenSaved(); }));
    EXPECT_TRUE(main_->IsVisible()) << "signed out, the main window comes back";
}

TEST_F(MainWindows, PickersShowTheStoredPairAndAChoiceRewritesBothCodes) {
    auto status = [](const char* name) {
        return vl::ToUtf8(Find(main_, name)->GetUserData()) + ":" +
               vl::ToUtf8(Find(main_, (std::string(name) + "_name").c_str())->GetText());
    };
    // "xyz" is no language: the first item stands.
    EXPECT_EQ(status("lang_src_status"), "chs:简体中文");
    EXPECT_EQ(status("lang_dst_status"), "eng:English");
    auto* dst = Find<skin::Combo>(main_, "lang_dst");
    QTest::keyClick(dst, Qt::Key_Down);  // the user picks the next item: 日本語
    EXPECT_EQ(status("lang_dst_status"), "jap:日本語");
    const std::string file = SettingsFile();
    EXPECT_NE(file.find("<src>chs</src>"), std::string::npos) << file;
    EXPECT_NE(file.find("<dst>jap</dst>"), std::string::npos) << file;
}

TEST_F(MainWindows, EnginePageSavesTheDirectionOnlyWhenTheUserChoosesIt) {
    // "Vertical" is not "vertical": the button says horizontal, the page selects vertical.
    EXPECT_EQ(Find(main_, "engine")->GetText(), u"横排翻译引擎");
    ConfigManager::Instance()->Flush();
    std::string onOpen, afterTab, afterClick;
    user_.On("velmora_main_engine_wnd", [&](skin::Window& w) {
        EXPECT_TRUE(Find<skin::Option>(&w, "vertical")->IsSelected());
        onOpen = SettingsFile();
        Find(&w, "vertical")->GetWidget()->setFocus();
        QTest::keyClick(w.GetWidget(), Qt::Key_Backtab);  // focus moves to "horizontal"
        afterTab = SettingsFile();
        User::Click(w, "horizontal");
        afterClick = SettingsFile();
        User::Click(w, "vertical");
        User::Click(w, "close");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "engine"), Qt::LeftButton);
    EXPECT_NE(onOpen.find("<engine>Vertical</engine>"), std::string::npos);
    EXPECT_EQ(afterTab, onOpen);
    EXPECT_NE(afterClick.find("<engine>horizontal</engine>"), std::string::npos);
    EXPECT_NE(SettingsFile().find("<engine>vertical</engine>"), std::string::npos);
    EXPECT_EQ(Find(main_, "engine")->GetText(), u"竖排翻译引擎");
}

// The version check opens the page the answer calls for; an answer that cannot be read leaves
// the settings page open as it was.
TEST_F(MainWindows, VersionCheckShowsThePageForANumberAndADecimalString) {
    struct Case {
        std::string versionCode, page, ver;
    };
    for (const Case& c : {Case{"9000000000", "velmora_main_update_wnd", "发现新版本：9.0.0"},
                          Case{"\"105\"", "velmora_main_noupdate_wnd", vl::VersionString()},
                          Case{"\"1x\"", "", ""}}) {
        backend_->Set(b::kAppUpdate.path, 200,
                      R"({"code":0,"msg":"","data":{"versionName":"9.0.0","versionCode":)" +
                          c.versionCode +
                          R"(,"desc":"更快","downloadUrl":"https://d.example/v","must":false}})");
        LogCapture::Get()->Clear();
        User user;
        std::string page, ver;
        user.On("velmora_main_settings_wnd", [&](skin::Window& w) {
            User::Click(w, "check");
            if (c.page.empty()) {
                RunUntil([&] { return Find(&w, "status")->IsVisible(); });
                EXPECT_EQ(User::Text(w, "status"), "检查更新失败，请稍后重试");
                EXPECT_TRUE(w.IsVisible());
                User::Click(w, "close");
            }
        });
        for (const char* cls : {"velmora_main_update_wnd", "velmora_main_noupdate_wnd"}) {
            user.On(cls, [&](skin::Window& w) {
                page = w.GetWindowClassName();
                ver = User::Text(w, "ver");
                User::Click(w, "close");
            });
        }
        QTest::mouseClick(Find<skin::Button>(main_, "settings"), Qt::LeftButton);
        EXPECT_EQ(page, c.page) << c.versionCode;
        EXPECT_EQ(ver, c.ver);
    }
}

// The engines page, opened from the settings page: its test runs the engine as the page shows it
// (unsaved), and saving rewrites only the members it shows, privately.
TEST_F(MainWindows, ServicesPageTestsTheShownEngineAndSavesKeepingOtherMembers) {
    vl::test::LoopbackServer chat;
    chat.Route(true, "/v1/chat/completions");
    chat.Start();
    chat.Set("/v1/chat/completions", 200,
             R"({"choices":[{"message":{"role":"assistant","content":"[\"今天天气很好。\"]"}}]})");
    const std::string path = vl::ServiceConfigPath();
    const vl::ServiceConfig saved = vl::Services();
    {
        std::ofstream(path)
            << R"({"extra":{"keep":[1,2]},"translate":{"engine":"youdao","future":"x"}})";
    }
    std::string failed, passed;
    bool masked = false;
    user_.On("velmora_main_settings_wnd", [&](skin::Window& w) {
        User::Click(w, "services");
        User::Click(w, "close");
    });
    user_.On("velmora_main_services_wnd", [&](skin::Window& w) {
        masked = Find<skin::Edit>(&w, "openaiKey")->echoMode() == QLineEdit::Password;
        Find<skin::Combo>(&w, "engine")->SelectItem(1);
        Find<skin::Edit>(&w, "openaiUrl")->setText("");
        User::Click(w, "test");
        RunUntil([&] { return User::Text(w, "result").rfind("测试失败", 0) == 0; });
        failed = User::Text(w, "result");
        Find<skin::Edit>(&w, "openaiUrl")->setText(QString::fromStdString(chat.Url("/v1")));
        User::Click(w, "test");
        RunUntil([&] { return User::Text(w, "result").rfind("测试成功", 0) == 0; });
        passed = User::Text(w, "result");
        Find<skin::Combo>(&w, "ocr")->SelectItem(2);
        User::Click(w, "save");
        User::Click(w, "close");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "settings"), Qt::LeftButton);

    EXPECT_TRUE(masked);
    EXPECT_EQ(failed, "测试失败：the chat-completions address is not set");
    EXPECT_EQ(passed, "测试成功：今天天气很好。");
    ASSERT_EQ(chat.Requests().size(), 1u);
    std::ifstream in(path);
    const nlohmann::json file = nlohmann::json::parse(in, nullptr, false);
    EXPECT_EQ(file["extra"], nlohmann::json::parse(R"({"keep":[1,2]})"));
    EXPECT_EQ(file["translate"]["future"], "x");
    EXPECT_EQ(file["translate"]["engine"], "openai");
    EXPECT_EQ(file["openai_translate"]["url"], chat.Url("/v1"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(vl::Services().translate.engine, "openai");
    EXPECT_NE(SettingsFile().find("<ocr>local</ocr>"), std::string::npos);

    std::filesystem::remove(path);
    vl::SetServices(saved);
    ConfigManager::Instance()->conf().ocr().reset();
    ConfigManager::Instance()->Flush();
}

std::string NoVipAnswer(int nums) {
    return R"({"code":0,"msg":"ok","data":{"userId":"u-2","nickname":"小李","avatar":"",)"
           R"("vipLevel":0,"vipEnd":"2000-01-01 00:00:00","vipNums":0,)"
           R"("freeTimeEnd":"2000-01-01 00:00:00","freeNums":0,"nums":)" +
           std::to_string(nums) + "}}";
}

// The count beside the nickname follows every charged run; once the back-end says none are left,
// "launch" offers the purchase window instead of arming the capture.
TEST_F(MainWindows, TranslationsLeftFollowEachRunAndUsedUpOffersThePurchase) {
    SignIn("小李", NoVipAnswer(5));
    EXPECT_EQ(Find(main_, "nums")->GetText(), u"剩余5次");
    for (const auto& [answer, shown] :
         {std::pair{R"({"code":0,"msg":"","data":{"unlimited":false,"nums":4}})", u"剩余4次"},
          std::pair{R"({"code":10701,"msg":"次数已用完"})", u"剩余0次"}}) {
        backend_->Set(b::kTransSaveNums.path, 200, answer);
        UserManager::Instance()->TranslateEnd({.ok = true,
                                               .logId = "l",
                                               .errInfo = "",
                                               .fromLang = "eng",
                                               .toLang = "chs",
                                               .lines = {},
                                               .ocrVendor = "y",
                                               .ocrTime = 1,
                                               .transVendor = "y",
                                               .transTime = 1});
        EXPECT_TRUE(RunUntil([&] { return Find(main_, "nums")->GetText() == shown; }));
    }
    backend_->Set(b::kUserInfo.path, 200, NoVipAnswer(0));
    QTest::mouseClick(Find<skin::Button>(main_, "launch"), Qt::LeftButton);
    EXPECT_TRUE(pay_->IsVisible() && main_->IsVisible()) << "offered the purchase, not armed";
    pay_->ShowWindow(false);

    // A pack bought meanwhile: the count is back and "launch" arms again.
    backend_->Set(b::kUserInfo.path, 200, NoVipAnswer(100));
    QTest::mouseClick(Find<skin::Button>(main_, "launch"), Qt::LeftButton);
    EXPECT_TRUE(!pay_->IsVisible() && !main_->IsVisible());
    EXPECT_EQ(Find(main_, "nums")->GetText(), u"剩余100次");
    main_->ShowWindow();
}

// Signing in from "launch" arms the capture; from the purchase window, brings it back.
TEST_F(MainWindows, SigningInCarriesOnWhereTheUserCameFrom) {
    user_.On("velmora_main_login_wnd", [](skin::Window& w) { User::Click(w, "now"); });
    QTest::mouseClick(Find<skin::Button>(main_, "launch"), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([] { return login_->IsVisible(); }));
    EXPECT_TRUE(main_->IsVisible());
    SignIn("老王");
    EXPECT_TRUE(RunUntil([] { return !main_->IsVisible() && !login_->IsVisible(); }));
    main_->ShowWindow();
    UserManager::Instance()->Logout("again");
    ASSERT_TRUE(RunUntil([] { return Find(main_, "login")->IsVisible(); }));

    pay_->ShowWindow();
    QTest::mouseClick(Find<skin::Button>(pay_, "login"), Qt::LeftButton);
    ASSERT_TRUE(login_->IsVisible() && !pay_->IsVisible());
    SignIn("老王");
    EXPECT_TRUE(RunUntil([] { return pay_->IsVisible(); }));
    pay_->ShowWindow(false);
}

// A sign-in the user manager refuses leaves every control usable and no countdown behind.
TEST_F(MainWindows, RefusedPhoneSignInLeavesTheNumberAndTheCodeButtonUsable) {
    backend_->Set(b::kSmsSendCode.path, 200, R"({"code":0,"msg":"ok"})");
    login_->ShowWindow();
    auto* phone = Find<skin::Edit>(login_, "phone");
    auto* gencode = Find<skin::Button>(login_, "gencode");
    phone->setText("13800001234");
    Find<skin::Edit>(login_, "code")->setText("1111");
    Find<skin::Option>(login_, "agree")->Selected(true, false);
    UserManager* users = UserManager::Instance();
    QTest::mouseClick(gencode, Qt::LeftButton);
    ASSERT_TRUE(backend_->WaitForRequests(b::kSmsSendCode.path, 1));
    users->Close();
    QTest::mouseClick(Find<skin::Button>(login_, "login"), Qt::LeftButton);
    EXPECT_EQ(user_.boxes, std::vector<std::string>{"提示|手机验证码登录失败"});
    vl::SendMessage(login_->GetHWND(), vl::WM_TIMER, LoginWnd::kCountdownTimer, 0);
    EXPECT_TRUE(gencode->isEnabled() && phone->isEnabled() && gencode->text() == "获取验证码");
    ASSERT_TRUE(users->Open());
    users->AddListener(login_->GetHWND());
    users->AddListener(main_->GetHWND());
    login_->ShowWindow(false);
}

TEST_F(MainWindows, EffectPageShowsTheStoredChoiceAndSavesTheNewOne) {
    ConfigManager::Instance()->conf().effect("");  // empty counts as "cover"
    bool coverShown = false;
    user_.On("velmora_main_effect_wnd", [&](skin::Window& w) {
        coverShown = Find<skin::Option>(&w, "cover")->IsSelected();
        User::Click(w, "uncover");
        User::Click(w, "close");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "effect"), Qt::LeftButton);
    EXPECT_TRUE(coverShown);
    EXPECT_NE(SettingsFile().find("<effect>uncover</effect>"), std::string::npos);
}

TEST_F(MainWindows, ShortcutPageShowsTheStoredKeys) {
    ConfigManager::Instance()->conf().shortcut().region("ctrl+alt+q");
    std::string keys;
    user_.On("velmora_main_shortcut_wnd", [&](skin::Window& w) {
        keys = User::Text(w, "translate") + " " + User::Text(w, "region");
        User::Click(w, "close");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "shortcut"), Qt::LeftButton);
    EXPECT_EQ(keys, "ctrl+alt+t ctrl+alt+q");
    ConfigManager::Instance()->conf().shortcut().region("ctrl+alt+r");
}

TEST_F(MainWindows, ContactPageShowsTheNumberAndOpensItsLink) {
    int opened = 0;
    vl::SetUrlOpener([&](const std::string&) { return ++opened; });
    std::string number;
    user_.On("velmora_main_contact_wnd", [&](skin::Window& w) {
        number = User::Text(w, "qq_number");
        emit Find<skin::Text>(&w, "more")->linkActivated("vl-link:0");
        User::Click(w, "qq");
    });
    QTest::mouseClick(Find<skin::Button>(main_, "contact"), Qt::LeftButton);
    vl::SetUrlOpener(nullptr);
    EXPECT_TRUE(!number.empty() && number == ConfigManager::Instance()->CustomerServiceQq());
    EXPECT_EQ(opened, 1);
}

}  // namespace
