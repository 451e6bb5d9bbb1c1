#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "logic/user_manager.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"
#include "utils/vl_env.h"
#include "utils/vl_string.h"

using vl::test::AccountBackend;
using vl::test::AccountTest;
using vl::test::LogCapture;
using vl::test::WaitUntil;
using json = nlohmann::json;

namespace {

const char* kSaveNums = "/trans/save-nums";
const char* kReport = "/trans/report";

class UsageReportTest : public AccountTest {
protected:
    void SignIn(const std::string& token) {
        backend_.Set("/user/info", 200, AccountBackend::UserInfoAnswer("u1", "N", 50));
        std::u16string err;
        ASSERT_TRUE(manager_->GetUserInfo(token, LoginType::Token, err));
    }
    // Waits until the report (always the last request of a translation) has arrived.
    std::vector<vl::test::LoopbackServer::Request> Sent(std::size_t reports = 1) {
        EXPECT_TRUE(backend_.WaitForRequests(kReport, reports));
        std::vector<vl::test::LoopbackServer::Request> out;
        for (const char* path : {kSaveNums, kReport}) {
            for (auto& r : backend_.Requests(path))
                out.push_back(std::move(r));
        }
        return out;
    }
    // Waits until the report's answer has been handled on the command thread; the save-nums
    // answer, which completes first, has been handled before it.
    bool ReportAnswerHandled() {
        return WaitUntil([] { return LogCapture::Get()->Contains("translate report failed, "); });
    }

    const std::string brandModel_ = vl::ToUtf8(vl::HardwareSummary());
    const std::string osVersion_ = vl::OsDescription();
};

}  // namespace

TEST_F(UsageReportTest, SuccessfulTranslationSendsSaveNumsThenTheReport) {
    SignIn("tok-7");
    backend_.Set(kSaveNums, 200, R"({"code":0,"msg":"","data":{"unlimited":true,"nums":1}})");
    backend_.Set(kReport, 200, R"({"code":0,"msg":""})");
    const std::map<std::string, std::string> lines{{"こんにちは", "你好"}, {"a\"b", "x"}};
    manager_->TranslateEnd(true, "log-1", "", "jap", "chs", lines, "baidu", 120, "youdao", 80);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].Header("Access-Token"), "tok-7");

    const json common = {{"logId", "log-1"},
                         {"image", ""},
                         {"fromLang", "jap"},
                         {"toLang", "chs"},
                         {"ocrVendor", "baidu"},
                         {"ocrTime", 120},
                         {"transType", 2},
                         {"transVendor", "youdao"},
                         {"transTime", 80},
                         {"totalTime", 200},
                         {"brandModel", brandModel_},
                         {"osVersion", osVersion_},
                         {"errInfo", ""},
                         {"gameId", 0},
                         {"totalLines", 10},
                         {"cacheLines", 5},
                         {"packageId", ""}};
    json saveNums = common;
    saveNums["transText"] = "";
    EXPECT_EQ(json::parse(sent[0].body), saveNums);

    json report = common;
    report["status"] = 1;
    report["platform"] = "windows";
    report["transText"] =
        R"([{"cache":0,"trans":"x","words":"a\"b"},{"cache":0,"trans":"你好","words":"こんにちは"}])";
    EXPECT_EQ(json::parse(sent[1].body), report);
}

TEST_F(UsageReportTest, FailedTranslationSendsOnlyTheReport) {
    backend_.Set(kReport, 200, R"({"code":0,"msg":""})");
    manager_->TranslateEnd(false, "", "", "eng", "", {}, "baidu", 30, "youdao", 0);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].path, kReport);
    EXPECT_EQ(sent[0].Header("Access-Token"), "");  // signed out: sent empty
    const json body = json::parse(sent[0].body);
    EXPECT_EQ(body.at("status"), 0);
    EXPECT_EQ(body.at("transText"), "null");
    EXPECT_FALSE(body.contains("errInfo"));
    EXPECT_EQ(body.size(), 15u);
}

TEST_F(UsageReportTest, TaskRecordsBecomeTheReportInputs) {
    backend_.Set(kSaveNums, 200, R"({"code":0,"msg":"","data":{"unlimited":true,"nums":1}})");
    backend_.Set(kReport, 200, R"({"code":0,"msg":""})");
    TranslateTask task;
    task.srcLang = 3;
    task.dstLang = 9;  // no code for it
    task.logId = "1234";
    task.ocrVendor = "baidu";
    task.ocrTime = 5;
    task.transVendor = "youdao";
    task.transTime = 6;
    task.transErrInfo = "translate failed";
    std::vector<TranslateLine> lines(3);
    lines[0].text = "same";
    lines[0].translation = u"first";
    lines[1].text = "other";
    lines[1].translation = u"另一个";
    lines[2].text = "same";
    lines[2].translation = u"second";
    manager_->TranslateEnd(true, task, lines);
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    json saveNums = json::parse(sent[0].body);
    EXPECT_EQ(saveNums.at("fromLang"), "jap");
    EXPECT_EQ(saveNums.at("toLang"), "");
    EXPECT_EQ(saveNums.at("errInfo"), "translate failed");
    EXPECT_EQ(
        json::parse(sent[1].body).at("transText"),
        R"([{"cache":0,"trans":"另一个","words":"other"},{"cache":0,"trans":"second","words":"same"}])");
}

TEST_F(UsageReportTest, SaveNumsAnswerUpdatesTheCountsUnlessUnlimited) {
    SignIn("tok");
    backend_.Set(kReport, 500, "report down");
    backend_.Set(kSaveNums, 200, R"({"code":0,"msg":"","data":{"unlimited":true,"nums":1}})");
    manager_->TranslateEnd(true, "l", "", "jap", "chs", {{"a", "b"}}, "baidu", 1, "youdao", 1);
    ASSERT_TRUE(ReportAnswerHandled());
    UserInfo user = manager_->GetUser();
    EXPECT_EQ(user.nums, 50);

    LogCapture::Get()->Clear();
    backend_.Set(kSaveNums, 200,
                 R"({"code":0,"msg":"","data":{"unlimited":false,"freeNums":4,"nums":9}})");
    manager_->TranslateEnd(true, "l", "", "jap", "chs", {{"a", "b"}}, "baidu", 1, "youdao", 1);
    ASSERT_TRUE(ReportAnswerHandled());
    user = manager_->GetUser();
    EXPECT_EQ(user.nums, 9);
    EXPECT_EQ(user.freeNums, 4);
    EXPECT_EQ(user.vipNums, 0);  // absent means 0
}

TEST_F(UsageReportTest, BadSaveNumsAnswersAreLoggedAndChangeNothing) {
    SignIn("tok");
    const UserInfo before = manager_->GetUser();
    struct Case {
        bool ok;
        std::string body;
        std::string log;
    };
    const Case cases[] = {
        {false, "gateway down", "translate report failed, gateway down"},
        {true, "{", "parse json failed with exception, byte 2, id 101, "},
        {true, R"({"code":3,"msg":"次数不足"})",
         "parse translate save num failed, code 3, msg 次数不足"},
        {true, R"({"code":0,"msg":"","data":{"unlimited":false,"nums":"9"}})",
         R"(parse json failed with exception, {"code":0,"msg":"","data":{"unlimited":false,"nums":"9"}})"},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        UserManagerCommandHttpPost answer;
        answer.ok = c.ok;
        answer.response = c.body;
        manager_->ProcessCmdTranslateSaveNum(answer);
        EXPECT_TRUE(LogCapture::Get()->Contains(c.log)) << LogCapture::Get()->Dump();
        EXPECT_EQ(manager_->GetUser(), before) << c.body;
    }
}
