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

const QColor kLight(235, 235, 235), kDark(30, 30, 36), kBlack(Qt::black), kWhite(Qt::white);

}  // namespace

// Small and large text, light on dark and dark on light, lines and columns: each comes back as
// drawn (CJK without the model's spaces, full-width punctuation) with a box where it was drawn.
TEST(LocalOcr, DrawnLinesReadBackToTheirTextWhereTheyWereDrawn) {
    // Light on dark or dark on light, in the CJK font of `face` (or the Latin one).
    const auto style = [](const char* face, int px, bool light, bool vertical = false) {
        return ocr_render::Style{*face ? QString("Noto Sans CJK ") + face : QString("Noto Sans"),
                                 px, light ? kLight : kBlack, light ? kDark : kWhite, vertical};
    };
    const struct {
        LanguageId lang;
        ocr_render::Style style;
        std::vector<std::string> texts;
    } cases[] = {
        {0, style("SC", 16, true), {"今天下午我们一起去公园散步"}},
        {0, style("SC", 40, false), {"这家餐厅的老板准备了晚饭", "我的朋友刚刚买了一本书"}},
        {1, style("TC", 24, false), {"圖書館裡的學生討論了問題"}},
        {3,
         style("JP", 30, true),
         {"今日は天気がいいので散歩に行きます！", "駅前の新しい店で友達と話しました"}},
        {4, style("KR", 30, false), {"오늘은 날씨가 좋아서 산책을 갑니다"}},
        {2, style("", 16, true), {"The quick brown fox jumps over the lazy dog."}},
        {3, style("JP", 30, false, true), {"今日は天気がいい", "友達と話しました"}},
        {0, style("SC", 24, true, true), {"图书馆里的学生", "公司决定在下个月"}},
    };
    LocalOcr ocr(vl::ServiceConfig().localOcr.dataDir);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.front() + " at " + std::to_string(c.style.px) + " px");
        const ocr_render::Page page = ocr_render::Render(c.texts, c.style);
        std::vector<TranslateLine> lines;
        std::string error;
        ASSERT_TRUE(ocr.Recognise(page.crop, c.lang, 1, c.style.vertical, lines, error)) << error;
        ASSERT_EQ(lines.size(), c.texts.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, c.texts[i]);
            EXPECT_TRUE(ocr_render::Overlaps(page.lines[i].box, lines[i].rect)) << i;
            EXPECT_TRUE(lines[i].vertical == c.style.vertical && lines[i].lang == c.lang &&
                        lines[i].dstLang == 1u);
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

struct Result {
    bool ok = false;
    TranslateTask task;
    std::vector<TranslateLine> lines;
};

class Recorder : public ITranslatorCallback {
public:
    void OnTranslatorResult(std::uint32_t, bool ok, TranslateTask task,
                            std::vector<TranslateLine> lines) override {
        std::lock_guard lock(mutex_);
        results_.push_back({ok, std::move(task), std::move(lines)});
    }
    // The result of the n-th task (from 1), waited for.
    Result Get(std::size_t n) {
        vl::test::WaitUntil([&] {
            std::lock_guard lock(mutex_);
            return results_.size() >= n;
        });
        std::lock_guard lock(mutex_);
        return results_.size() >= n ? results_[n - 1] : Result{};
    }

private:
    std::mutex mutex_;
    std::vector<Result> results_;
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
        page_ =
            ocr_render::Render({kLine}, {"Noto Sans CJK JP", 30, kLight, kDark, false}, 800, 120);
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
    // Runs task `id` (the id-th of the test) and waits for its outcome.
    Result Run(std::uint32_t id) {
        translator_.PushTask(id, 3, 0, "\xFF\xD8\xFF jpeg", page_.crop);
        return recorder_.Get(id);
    }
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
    Result r = Run(1);
    ASSERT_TRUE(r.ok) << LogCapture::Get()->Dump();
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, kLine);
    EXPECT_EQ(r.lines[0].translation, u"在车站前的新店和朋友聊了天");
    EXPECT_EQ(vl::test::ParseForm(vendors_.Requests("/api").back().body).at(0).second,
              std::string(kLine) + "\n");
    EXPECT_TRUE(LogCapture::Get()->Contains(
        "ocr youdao failed for task id 1, the service could not be reached: the local engine"));
    EXPECT_TRUE(LogCapture::Get()->Contains("ocr of task id 1 answered by the local engine"));

    SetOcrUrl(vendors_.Url("/ocrapi"));
    vendors_.Set("/ocrapi", 200, R"({"errorCode":"108"})");
    r = Run(2);
    EXPECT_TRUE(r.ok && r.lines.size() == 1 && r.lines[0].text == kLine);
    EXPECT_TRUE(LogCapture::Get()->Contains("the service refused its keys: the local engine"));

    vendors_.Set("/ocrapi", 500, "busy");
    EXPECT_FALSE(Run(3).ok) << "a server fault is not a reason to answer locally";
    Choose(ConfigManager::kOcrOnline);
    vendors_.Set("/ocrapi", 200, R"({"errorCode":"108"})");
    EXPECT_FALSE(Run(4).ok) << "\"online\" never answers locally";
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
    const Result warm = Run(1);
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
    const Result failed = recorder_.Get(2);
    Config()->conf().engine("horizontal");
    missing.Uninit();
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.task.ocrErrInfo, "ocr : 缺少识别模型，请安装 tesseract-ocr-jpn-vert");
    EXPECT_TRUE(LogCapture::Get()->Contains("install the Debian package tesseract-ocr-jpn-vert"));
}
