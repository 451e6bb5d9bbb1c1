// Screen capture of a 1920×1080 root window on an Xvfb server of its own: the X11 read alone, and
// the read into both forms (R, G, B rows and the display picture), into a reused buffer as the
// capture windows keep one, and into a fresh one. The result window on an 800×300 region: hotkey
// to OCR request arriving (ImageMagick beside it), a 50-line result to all labels painted, and a
// click on the main window's start button to the ball shown. A 20-line run from the OCR answer to
// its labels painted: every line known to the translation memory, and the same run through a
// loopback engine.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "config/config_manager.h"
#include "logic/translation_memory.h"
#include "logic/translator.h"
#include "platform/screen_capture.h"
#include "platform/x11.h"
#include "tests/e2e/desktop_session.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "ui/main_wnd.h"
#include "ui/result_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/container.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/skin_app.h"
#include "utils/vl_http.h"

namespace {

void ReadAlone(benchmark::State& state) {
    vl::platform::x11::Display x;
    vl::platform::x11::QtDisplay(&x);
    for (auto _ : state) {
        auto* reply = xcb_get_image_reply(
            x.connection,
            xcb_get_image(x.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root, 0, 0,
                          x.screen->width_in_pixels, x.screen->height_in_pixels, ~0u),
            nullptr);
        benchmark::DoNotOptimize(reply);
        std::free(reply);
    }
}

void Capture(benchmark::State& state, bool reuse) {
    vl::platform::ScreenCapture shot;
    std::string error;
    for (auto _ : state) {
        if (!reuse)
            shot = vl::platform::ScreenCapture();
        if (!vl::platform::CaptureScreen(&shot, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(shot.rgb.data());
    }
    state.counters["width"] = shot.width;
    state.counters["height"] = shot.height;
}

using Clock = std::chrono::steady_clock;
// OCR requests the stand-in has received whole (each answered 500), and when the last one came.
std::atomic<std::uint32_t> g_ocrRequests{0};
std::atomic<Clock::rep> g_ocrArrival{0};

void HotkeyToOcrRequest(benchmark::State& state) {
    for (auto _ : state) {
        const std::uint32_t before = g_ocrRequests;
        const auto start = Clock::now();
        ResultWnd::Instance()->Translate();  // what Ctrl+Alt+T runs
        // Stamped by the stand-in on arrival, so the polling here does not enter the figure.
        const auto deadline = start + std::chrono::seconds(5);
        while (g_ocrRequests == before && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (g_ocrRequests == before) {
            state.SkipWithError("no OCR request arrived within 5 s");
            break;
        }
        const Clock::time_point arrival{Clock::duration(g_ocrArrival)};
        state.SetIterationTime(std::chrono::duration<double>(arrival - start).count());
        QTest::qWait(20);  // the failed answer comes back; then dismissed, as a user goes on
        ResultWnd::Instance()->HandleMessage(vl::WM_KEYUP, vl::VK_ESCAPE, 0);
        QTest::qWait(20);
    }
}

void ImageMagickCropAndEncode(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        vl::test::RunProcess({"/usr/bin/import", "-window", "root", "-crop", "800x300+0+0",
                              "-quality", "90", "jpeg:/dev/null"});
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

// 45 lines and 5 columns for the current run, from their arrival to the window painted.
void ResultToLabelsPainted(benchmark::State& state) {
    ResultWnd* result = ResultWnd::Instance();
    auto* labels = result->Manager().FindControl<skin::Container>("result_translation");
    for (auto _ : state) {
        result->Translate();
        QTest::qWait(30);
        TranslateTask task;
        std::vector<TranslateLine> lines(50);
        for (int i = 0; i < 50; ++i) {
            lines[i].vertical = i % 10 == 0;
            lines[i].rect = lines[i].vertical ? std::array{1200 + 6 * i, 0, 1224 + 6 * i, 400}
                                              : std::array{10, 20 * i, 700, 20 * i + 18};
            lines[i].translation = u"第" + std::u16string(1, u'一' + i % 9) + u"行的译文";
        }
        const auto start = Clock::now();
        // One request per run.
        result->OnTranslatorResult(g_ocrRequests, true, std::move(task), std::move(lines));
        while (labels->GetCount() < 50 && Clock::now() - start < std::chrono::seconds(5))
            QCoreApplication::processEvents();
        if (labels->GetCount() < 50) {
            state.SkipWithError("the labels were not placed within 5 s");
            break;
        }
        QCoreApplication::processEvents();  // the labels' paint and its flush to the screen
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

constexpr int kRunLines = 20;

std::vector<TranslateLine> RecognisedLines() {
    std::vector<TranslateLine> lines(kRunLines);
    for (int i = 0; i < kRunLines; ++i) {
        lines[i].lang = 3;
        lines[i].text = "第" + std::to_string(i) + "行のセリフです";
        lines[i].rect = {10, 14 * i, 700, 14 * i + 12};
    }
    return lines;
}

// From the OCR answer in hand: the translation step (memory or engine), then the result window's
// labels placed and painted.
void OcrAnswerToLabelsPainted(benchmark::State& state, bool fromMemory) {
    ResultWnd* result = ResultWnd::Instance();
    auto* labels = result->Manager().FindControl<skin::Container>("result_translation");
    vl::test::TempDir dir;
    TranslationMemory memory(dir.File("memory.sqlite3"));
    vl::ServiceConfig config = vl::Services();
    config.translate.memory = fromMemory;
    vl::SetServices(config);
    Translator translator;
    translator.UseMemory(&memory);
    if (fromMemory) {
        TranslateTask warm;
        std::vector<TranslateLine> lines = RecognisedLines();
        if (!translator.Translate(warm, lines)) {
            state.SkipWithError(("the memory could not be filled: " + warm.transErrInfo).c_str());
            return;
        }
    }
    for (auto _ : state) {
        result->Translate();
        QTest::qWait(30);
        TranslateTask task;
        std::vector<TranslateLine> lines = RecognisedLines();
        const auto start = Clock::now();
        if (!translator.Translate(task, lines)) {
            state.SkipWithError(task.transErrInfo.c_str());
            break;
        }
        result->OnTranslatorResult(g_ocrRequests, true, task, lines);
        while (labels->GetCount() < kRunLines && Clock::now() - start < std::chrono::seconds(5))
            QCoreApplication::processEvents();
        if (labels->GetCount() < kRunLines) {
            state.SkipWithError("the labels were not placed within 5 s");
            break;
        }
        QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    config.translate.memory = false;
    vl::SetServices(config);
}

bool BallShown() {
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QStringLiteral("Velmora翻译-悬浮窗") && w->isVisible())
            return true;
    }
    return false;
}

// A click on "开始翻译" of a signed-in user: the account refreshed synchronously from the back-end
// stand-in on loopback, the main window hidden, the capture armed, the ball shown and mapped.
void LaunchToBallShown(benchmark::State& state) {
    MainWnd* main = MainWnd::Instance();
    auto* launch = main->Manager().FindControl<skin::Button>("launch");
    for (auto _ : state) {
        main->ShowWindow();  // disarms: the ball goes
        QTest::qWait(20);
        const auto start = Clock::now();
        QTest::mouseClick(launch, Qt::LeftButton);
        QCoreApplication::processEvents();  // the ball's map request flushed to the server
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!BallShown()) {
            state.SkipWithError("the ball was not shown");
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    vl::test::InstallTestLogger();
    vl::test::XServer server("1920x1080x24");
    if (!server.Ready()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    skin::QtMessageLoop loop;
    vl::test::VendorServices services;
    services.Set("/ocrapi", [](const httplib::Request&) {
        g_ocrArrival = Clock::now().time_since_epoch().count();
        ++g_ocrRequests;
        return vl::test::LoopbackServer::Reply{500, "busy"};
    });
    std::string pieces;
    for (int i = 0; i < kRunLines; ++i)
        pieces += "第" + std::to_string(i) + "行的台词\\n";
    services.Set("/api", 200, R"({"errorCode":"0","translation":[")" + pieces + R"("]})");
    vl::test::AccountBackend backend;  // the sign-in and the usage reports go there
    backend.Set(velmora::protocol::kUserInfo.path, 200,
                vl::test::AccountBackend::UserInfoAnswer("u-1", "小明"));
    vl::Http::Instance()->Init();
    ConfigManager::Instance()->conf().engine("vertical");  // Youdao: one request
    ConfigManager::Instance()->PublishDirection();
    ConfigManager::Instance()->conf().region() = Region(0, 0, 800, 300);
    if (std::string error;
        !skin::InitApplication(&error) ||
        ResultWnd::Instance()->Create(nullptr, u"Velmora翻译-结果", skin::WS_POPUP,
                                      skin::WS_EX_TOOLWINDOW | skin::WS_EX_OVERLAY) == nullptr) {
        std::fprintf(stderr, "the result window could not be created: %s\n", error.c_str());
        return 1;
    }
    ResultWnd::Instance()->Begin();
    MainWnd* main = MainWnd::Instance();
    ConfigManager::Instance()->conf().tip(true);  // the introduction box was seen before
    if (main->Create(nullptr, u"Velmora翻译-主窗口", skin::WS_POPUP, 0) == nullptr ||
        !UserManager::Instance()->Open() || !UserManager::Instance()->LoginToken("tok-1") ||
        !vl::test::WaitUntil(
            [] { return UserManager::Instance()->GetUser().loginType != LoginType::None; })) {
        std::fprintf(stderr, "the main window could not be created or the user not signed in\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("GetImageAlone", ReadAlone)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsReusedBuffer", Capture, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsFreshBuffer", Capture, false)
        ->Unit(benchmark::kMillisecond);
    // One run per repetition: the figures are medians of single runs.
    for (const auto& [name, run, repeats] :
         {std::tuple{"HotkeyToOcrRequest800x300", &HotkeyToOcrRequest, 50},
          std::tuple{"ImageMagickCropAndEncode800x300", &ImageMagickCropAndEncode, 10},
          std::tuple{"ResultToLabelsPainted50Lines", &ResultToLabelsPainted, 30},
          std::tuple{"LaunchToBallShown", &LaunchToBallShown, 50}}) {
        benchmark::RegisterBenchmark(name, run)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(repeats)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    for (const bool fromMemory : {true, false}) {
        benchmark::RegisterBenchmark(fromMemory ? "OcrAnswerToLabelsPainted20LinesFromMemory"
                                                : "OcrAnswerToLabelsPainted20LinesLoopbackEngine",
                                     OcrAnswerToLabelsPainted, fromMemory)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(30)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    UserManager::Instance()->Close();
    main->Close();
    ResultWnd::Instance()->Close();
    vl::Http::Instance()->Uninit();
    return 0;
}
