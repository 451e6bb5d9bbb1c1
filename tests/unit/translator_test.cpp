#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "config/config_manager.h"
#include "logic/translator.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;
using vl::test::LoopbackServer;
using namespace std::chrono_literals;

namespace {

constexpr const char* kEmpty = "ocr result is empty, maybe no char has to be translated ?";

std::string BaiduAnswer(int lines) {
    std::string items;
    for (int i = 0; i < lines; ++i) {
        if (i > 0)
            items += ",";
        items += R"({"words":"w)" + std::to_string(i) +
                 R"(","location":{"left":1,"top":2,"width":3,"height":4},"vertexes_location":)"
                 R"([{"x":1,"y":2},{"x":4,"y":2},{"x":4,"y":6},{"x":1,"y":6}]})";
    }
    return R"({"log_id":42,"words_result":[)" + items + "]}";
}

struct Result {
    std::uint32_t id;
    bool ok;
    TranslateTask task;
    std::vector<TranslateLine> lines;
};

// Collects callbacks; may push one more task from inside the first one.
class Recorder : public ITranslatorCallback {
public:
    void OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask& task,
                            std::vector<TranslateLine>& lines) override {
        if (pushFromCallback != nullptr) {
            Translator* t = pushFromCallback;
            pushFromCallback = nullptr;
            t->PushTask(id + 100, 0, 2, "again");
        }
        std::lock_guard lock(mutex_);
        results_.push_back({id, ok, task, lines});
        cv_.notify_all();
    }

    // Waits (bounded) until `n` callbacks have arrived.
    bool WaitFor(std::size_t n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 20s, [&] { return results_.size() >= n; });
    }

    std::vector<Result> Results() {
        std::lock_guard lock(mutex_);
        return results_;
    }

    Translator* pushFromCallback = nullptr;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Result> results_;
};

// Loopback stand-ins for the Baidu OCR (the built-in horizontal engine), Youdao OCR and Youdao
// translation services; the translator reaches them through the process configuration.
class TranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Get("/token", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"access_token":"t","expires_in":100,"scope":"brain_all_scope"})",
                            "application/json");
        });
        server_.Post("/general", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(gateMutex_);
            ++generalCalls_;
            gateCv_.notify_all();
            gateCv_.wait_for(lock, 10s, [this] { return !holdGeneral_; });
            res.set_content(baiduAnswer_, "application/json");
        });
        server_.Post("/ocrapi", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(youdaoOcrAnswer_, "application/json");
        });
        server_.Post("/api", [this](const httplib::Request&, httplib::Response& res) {
            res.status = translateStatus_;
            res.set_content(R"({"errorCode":"0","translation":["A\nB\nC"]})", "application/json");
        });
        server_.Start();
        vl::ServiceConfig config;
        config.baiduOcr.tokenUrl = server_.Url("/token");
        config.baiduOcr.generalUrl = server_.Url("/general");
        config.youdaoOcr.url = server_.Url("/ocrapi");
        config.youdaoTranslate.url = server_.Url("/api");
        vl::SetServices(config);
        Config()->conf().engine("horizontal");
        Config()->ParseConfig(Engines("baidu", "youdao"));
        LogCapture::Get()->Clear();
    }

    void TearDown() override {
        translator_.Uninit();
        Config()->conf().engine("horizontal");
        Config()->ParseConfig(Engines("baidu", "youdao"));
    }

    static ConfigManager* Config() { return vl::Singleton<ConfigManager>::Instance(); }

    static std::string Engines(const std::string& precise, const std::string& vertical) {
        return R"({"code":0,"msg":"","data":{"config":{"qq_kefu":"","trans_config":"{\"precise_ocr\":\")" +
               precise + R"(\",\"vertical_ocr\":\")" + vertical + R"(\"}"}}})";
    }

    std::size_t Requests(const std::string& path) {
        std::size_t n = 0;
        for (const auto& r : server_.Requests())
            n += (r.path == path);
        return n;
    }

    std::string baiduAnswer_ = BaiduAnswer(3);
    std::string youdaoOcrAnswer_ =
        R"({"errorCode":"0","Result":{"regions":[{"dir":"v","lang":"ja","lines":[)"
        R"({"text":"y","boundingBox":"1,1,9,1,9,9,1,9"}]}]}})";
    int translateStatus_ = 200;

    std::mutex gateMutex_;
    std::condition_variable gateCv_;
    bool holdGeneral_ = false;
    int generalCalls_ = 0;

    Recorder recorder_;
    Translator translator_;
    LoopbackServer server_;  // last: stopped before the state its handlers read goes away
};

}  // namespace

TEST_F(TranslatorTest, TasksRunInPushOrderWithOneCallbackEach) {
    translator_.Init(&recorder_);
    for (std::uint32_t id : {7u, 8u, 9u}) {
        EXPECT_TRUE(translator_.PushTask(id, 3, 0, "image-" + std::to_string(id)));
    }
    ASSERT_TRUE(recorder_.WaitFor(3));
    translator_.Uninit();
    const auto results = recorder_.Results();
    ASSERT_EQ(results.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].id, 7 + i);
        EXPECT_TRUE(results[i].ok);
        EXPECT_EQ(results[i].task.logId, "42");
        ASSERT_EQ(results[i].lines.size(), 3u);
        EXPECT_EQ(results[i].lines[2].translation, u"C");
    }
}

TEST_F(TranslatorTest, EmptyOcrResultMakesNoTranslationRequest) {
    baiduAnswer_ = BaiduAnswer(0);
    translator_.Init(&recorder_);
    translator_.PushTask(1, 0, 2, "blank");
    ASSERT_TRUE(recorder_.WaitFor(1));
    translator_.Uninit();
    const Result r = recorder_.Results().at(0);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.task.ocrErrInfo, kEmpty);
    EXPECT_EQ(Requests("/api"), 0u);
}

TEST_F(TranslatorTest, FailuresOfEitherStepAreReportedAndTheQueueGoesOn) {
    baiduAnswer_ = R"({"error_code":17})";
    translator_.Init(&recorder_);
    translator_.PushTask(1, 0, 2, "a");
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_FALSE(recorder_.Results()[0].ok);
    EXPECT_EQ(Requests("/api"), 0u);

    baiduAnswer_ = BaiduAnswer(2);
    translateStatus_ = 500;
    translator_.PushTask(2, 0, 2, "b");
    ASSERT_TRUE(recorder_.WaitFor(2));
    const Result r = recorder_.Results()[1];
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.task.transErrInfo.rfind("translate request failed response code 500", 0), 0u);

    translateStatus_ = 200;
    translator_.PushTask(3, 0, 2, "c");
    ASSERT_TRUE(recorder_.WaitFor(3));
    EXPECT_TRUE(recorder_.Results()[2].ok);
}

// Settings change only between tasks, as the settings pages do.
TEST_F(TranslatorTest, EngineIsAskedForEveryTask) {
    Config()->conf().engine("vertical");  // built-in vertical engine: Youdao
    translator_.Init(&recorder_);
    translator_.PushTask(1, 3, 0, "v");
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_EQ(Requests("/ocrapi"), 1u);
    EXPECT_TRUE(recorder_.Results()[0].lines.at(0).vertical);
    Config()->conf().engine("horizontal");
    translator_.PushTask(2, 3, 0, "h");
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_EQ(Requests("/general"), 1u);
}

TEST_F(TranslatorTest, UninitWaitsForTheRunningTaskAndDropsTheQueue) {
    {
        std::lock_guard lock(gateMutex_);
        holdGeneral_ = true;
    }
    translator_.Init(&recorder_);
    translator_.PushTask(1, 0, 2, "running");
    translator_.PushTask(2, 0, 2, "queued");
    {
        std::unique_lock lock(gateMutex_);
        ASSERT_TRUE(gateCv_.wait_for(lock, 10s, [this] { return generalCalls_ == 1; }));
    }
    std::atomic<bool> uninitReturned{false};
    std::size_t callbacksWhenReturned = 0;
    std::thread stopper([&] {
        translator_.Uninit();
        callbacksWhenReturned = recorder_.Results().size();
        uninitReturned = true;
    });
    // Uninit cannot return while the OCR request is held.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(uninitReturned.load());
    {
        std::lock_guard lock(gateMutex_);
        holdGeneral_ = false;
        gateCv_.notify_all();
    }
    stopper.join();
    EXPECT_EQ(callbacksWhenReturned, 1u);
    EXPECT_EQ(recorder_.Results().size(), 1u);
    EXPECT_EQ(generalCalls_, 1);
}

// A callback that pushes the next task must not deadlock the task thread.
TEST_F(TranslatorTest, CallbacksMayPush) {
    translator_.Init(&recorder_);
    recorder_.pushFromCallback = &translator_;
    translator_.PushTask(1, 0, 2, "first");
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_EQ(recorder_.Results()[1].id, 101u);
}
