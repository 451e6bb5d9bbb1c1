// The local OCR engine on text drawn at test time with the CJK font, and the translator's use of
// it: chosen, as the fallback of "auto", and with its model missing. Loopback stand-ins for the
// online services.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "config/config_manager.h"
#include "logic/local_ocr.h"
#include "logic/translator.h"
#include "tests/support/form.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ocr_render.h"
#include "utils/vl_services.h"

using vl::test::LogCapture;

namespace {

const QColor kLight(235, 235, 235), kDark(30, 30, 36);

struct DrawnCase {
    LanguageId lang;
    const char* family;
    int px;
    bool lightOnDark;
    bool vertical;
    std::vector<std::string> texts;
};

ocr_render::Page Draw(const DrawnCase& c) {
    ocr_render::Style style;
    style.family = c.family;
    style.px = c.px;
    style.ink = c.lightOnDark ? kLight : QColor(Qt::black);
    style.ground = c.lightOnDark ? kDark : QColor(Qt::white);
    style.vertical = c.vertical;
    return ocr_render::Render(c.texts, style);
}

}  // namespace

// Small and large text, light on dark and dark on light, lines and columns: each comes back as
// drawn (CJK without the model's spaces, full-width punctuation) with a box where it was drawn.
TEST(LocalOcr, DrawnLinesReadBackToTheirTextWhereTheyWereDrawn) {
    const std::vector<DrawnCase> cases = {
        {0, "Noto Sans CJK SC", 16, true, false, {"今天下午我们一起去公园散步"}},
        {0,
         "Noto Sans CJK SC",
         40,
         false,
         false,
         {"这家餐厅的老板准备了晚饭", "我的朋友刚刚买了一本书"}},
        {1, "Noto Sans CJK TC", 24, false, false, {"圖書館裡的學生討論了問題"}},
        {3,
         "Noto Sans CJK JP",
         30,
         true,
         false,
         {"今日は天気がいいので散歩に行きます！", "駅前の新しい店で友達と話しました"}},
        {3, "Noto Sans CJK JP", 20, false, false, {"週末になったら家族と映画を見たいです"}},
        {4, "Noto Sans CJK KR", 30, false, false, {"오늘은 날씨가 좋아서 산책을 갑니다"}},
        {2, "Noto Sans", 16, true, false, {"The quick brown fox jumps over the lazy dog."}},
        {3, "Noto Sans CJK JP", 30, false, true, {"今日は天気がいい", "友達と話しました"}},
        {0, "Noto Sans CJK SC", 24, true, true, {"图书馆里的学生", "公司决定在下个月"}},
    };
    LocalOcr ocr(vl::ServiceConfig().localOcr.dataDir);
    for (const DrawnCase& c : cases) {
        SCOPED_TRACE(c.texts.front() + " at " + std::to_string(c.px) + " px");
        const ocr_render::Page page = Draw(c);
        std::vector<TranslateLine> lines;
        std::string error;
        ASSERT_TRUE(ocr.Recognise(page.crop, c.lang, 1, c.vertical, lines, error)) << error;
        ASSERT_EQ(lines.size(), c.texts.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, c.texts[i]);
            EXPECT_TRUE(ocr_render::Overlaps(page.lines[i].box, lines[i].rect))
                << lines[i].rect[0] << "," << lines[i].rect[1] << "," << lines[i].rect[2] << ","
                << lines[i].rect[3];
            EXPECT_EQ(lines[i].vertical, c.vertical);
            EXPECT_EQ(lines[i].lang, c.lang);
            EXPECT_EQ(lines[i].dstLang, 1u);
        }
    }
}

TEST(LocalOcr, NormalisingTouchesOnlyCjkGapsAndPunctuation) {
    EXPECT_EQ(LocalOcr::Normalise("今日 は 天 気 !本当 ? (はい)"), "今日は天気！本当？（はい）");
    EXPECT_EQ(LocalOcr::Normalise("Hello, world! (yes)"), "Hello, world! (yes)");
    EXPECT_EQ(LocalOcr::Normalise("오늘은 날씨가 좋아요!"), "오늘은 날씨가 좋아요!");
    EXPECT_EQ(LocalOcr::Normalise("価格 3.5 ドル, OK"), "価格 3.5 ドル， OK");
    EXPECT_EQ(LocalOcr::ModelName(3, true), "jpn_vert");
    EXPECT_EQ(LocalOcr::ModelName(2, true), "eng");  // no vertical English model
    EXPECT_EQ(LocalOcr::PackageName("chi_sim_vert"), "tesseract-ocr-chi-sim-vert");
}

namespace {

class Recorder : public ITranslatorCallback {
public:
    struct Result {
        bool ok;
        TranslateTask task;
        std::vector<TranslateLine> lines;
    };
    void OnTranslatorResult(std::uint32_t, bool ok, TranslateTask& task,
                            std::vector<TranslateLine>& lines) override {
        std::lock_guard lock(mutex_);
        results_.push_back({ok, task, lines});
    }
    // The next result, waited for.
    Result Next() {
        const std::size_t want = taken_ + 1;
        vl::test::WaitUntil([&] {
            std::lock_guard lock(mutex_);
            return results_.size() >= want;
        });
        std::lock_guard lock(mutex_);
        return results_.size() >= want ? results_[taken_++] : Result{false, {}, {}};
    }

private:
    std::mutex mutex_;
    std::vector<Result> results_;
    std::size_t taken_ = 0;
};

constexpr char kLine[] = "駅前の新しい店で友達と話しました";

// Runs of the task thread on a drawn Japanese line; the remote configuration names Youdao.
class LocalEngineRun : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        vendors_.Set("/api", 200,
                     R"({"errorCode":"0","translation":["在车站前的新店和朋友聊了天"]})");
        Config()->ParseConfig(R"({"code":0,"msg":"","data":{"config":{"qq_kefu":"","trans_config":)"
                              R"("{\"precise_ocr\":\"youdao\",\"vertical_ocr\":\"youdao\"}"}}})");
        Choose(ConfigManager::kOcrAuto);
        ocr_render::Style style;
        style.ink = kLight;
        style.ground = kDark;
        page_ = ocr_render::Render({kLine}, style, 800, 120);
    }
    void TearDown() override {
        translator_.Uninit();
        Config()->conf().ocr(Conf::ocr_optional());
        Config()->PublishDirection();
    }
    static ConfigManager* Config() { return vl::Singleton<ConfigManager>::Instance(); }
    void Choose(const char* choice) {
        Config()->conf().ocr(choice);
        Config()->PublishDirection();
    }
    void Push(std::uint32_t id) { translator_.PushTask(id, 3, 0, "\xFF\xD8\xFF jpeg", page_.crop); }
    void SetOcrUrl(const std::string& url) {
        vl::ServiceConfig config = vl::Services();
        config.youdaoOcr.url = url;
        vl::SetServices(config);
    }

    vl::test::VendorServices vendors_;
    ocr_render::Page page_;
    Recorder recorder_;
    Translator translator_;
};

}  // namespace

// "auto" answers locally in the same run when the service cannot be reached or refuses its keys,
// and says so; any other failure, or "online", stays a failure.
TEST_F(LocalEngineRun, AutoFallsBackForTransportAndKeyFailuresOnly) {
    translator_.Init(&recorder_);
    SetOcrUrl("http://127.0.0.1:1/ocrapi");  // nothing listens there: connection refused
    Push(1);
    Recorder::Result r = recorder_.Next();
    ASSERT_TRUE(r.ok) << LogCapture::Get()->Dump();
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, kLine);
    EXPECT_EQ(r.lines[0].translation, u"在车站前的新店和朋友聊了天");
    EXPECT_EQ(vl::test::ParseForm(vendors_.Requests("/api").back().body).at(0).second, std::string(kLine) + "\n");
    EXPECT_TRUE(LogCapture::Get()->Contains(
        "ocr youdao failed for task id 1, the service could not be reached: the local engine"));
    EXPECT_TRUE(LogCapture::Get()->Contains("ocr of task id 1 answered by the local engine"));

    SetOcrUrl(vendors_.Url("/ocrapi"));
    vendors_.Set("/ocrapi", 200, R"({"errorCode":"108"})");
    Push(2);
    r = recorder_.Next();
    EXPECT_TRUE(r.ok && r.lines.size() == 1 && r.lines[0].text == kLine);
    EXPECT_TRUE(LogCapture::Get()->Contains("the service refused its keys: the local engine"));

    vendors_.Set("/ocrapi", 500, "busy");
    Push(3);
    EXPECT_FALSE(recorder_.Next().ok) << "a server fault is not a reason to answer locally";
    Choose(ConfigManager::kOcrOnline);
    vendors_.Set("/ocrapi", 200, R"({"errorCode":"108"})");
    Push(4);
    EXPECT_FALSE(recorder_.Next().ok) << "\"online\" never answers locally";
    EXPECT_EQ(vendors_.Requests("/ocrapi").size(), 3u);
}

// Chosen in the settings, the model is loaded right after start, before any capture; a missing
// model fails the run with the package to install, and the next run still works.
TEST_F(LocalEngineRun, ChosenLocallyTheModelIsWarmAndAMissingOneNamesItsPackage) {
    Choose(ConfigManager::kOcrLocal);
    translator_.Init(&recorder_);
    translator_.Preload(3);
    EXPECT_TRUE(vl::test::WaitUntil(
        [] { return LogCapture::Get()->Contains("local ocr model jpn loaded in"); }));
    Push(1);
    const Recorder::Result warm = recorder_.Next();
    EXPECT_TRUE(warm.ok && warm.lines.size() == 1 && warm.lines[0].text == kLine);
    const auto entries = LogCapture::Get()->Entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const auto& e) { return e.message.starts_with("local ocr model"); }),
              1)
        << "loaded twice: " << LogCapture::Get()->Dump();
    EXPECT_TRUE(vendors_.Requests("/ocrapi").empty());
    translator_.Uninit();

    vl::test::TempDir empty;
    vl::ServiceConfig config = vl::Services();
    config.localOcr.dataDir = empty.Path();
    vl::SetServices(config);
    Translator missing;
    missing.Init(&recorder_);
    Config()->conf().engine("vertical");
    Config()->PublishDirection();
    missing.PushTask(2, 3, 0, "", page_.crop);
    const Recorder::Result failed = recorder_.Next();
    Config()->conf().engine("horizontal");
    missing.Uninit();
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.task.ocrErrInfo, "ocr : 缺少识别模型，请安装 tesseract-ocr-jpn-vert");
    EXPECT_TRUE(LogCapture::Get()->Contains("install the Debian package tesseract-ocr-jpn-vert"));
}
