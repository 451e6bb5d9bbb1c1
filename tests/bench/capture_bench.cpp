// Screen capture of a 1920×1080 root window on an Xvfb server of its own: the X11 read alone, and
// the read into both forms (R, G, B rows and the display picture), into a reused buffer as the
// capture windows keep one, and into a fresh one. Then a translation run of the result window
// against a loopback OCR stand-in: from the hotkey to the OCR request arriving (800×300 region),
// beside ImageMagick's capture and encoding of the same region; and from a 50-line result arriving
// to all labels painted.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "config/config_manager.h"
#include "platform/screen_capture.h"
#include "tests/e2e/desktop_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "ui/result_wnd.h"
#include "ui/skin/container.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/skin_app.h"
#include "ui/skin/x11.h"
#include "utils/vl_http.h"

namespace {

void ReadAlone(benchmark::State& state) {
    skin::x11::Display x;
    skin::x11::QtDisplay(&x);
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

// OCR requests the stand-in has received whole, and when the last one came; each is answered
// 500 (a failed run).
std::atomic<std::uint32_t> g_ocrRequests{0};
std::atomic<Clock::rep> g_ocrArrival{0};

void ProcessEventsFor(std::chrono::milliseconds period) {
    for (const auto end = Clock::now() + period; Clock::now() < end;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// What Ctrl+Alt+T runs, up to the OCR request reaching the stand-in.
void HotkeyToOcrRequest(benchmark::State& state) {
    ResultWnd* result = ResultWnd::Instance();
    for (auto _ : state) {
        const std::uint32_t before = g_ocrRequests;
        const auto start = Clock::now();
        result->Translate();
        g_ocrRequests.wait(before);
        const Clock::time_point arrival{Clock::duration{g_ocrArrival.load()}};
        state.SetIterationTime(std::chrono::duration<double>(arrival - start).count());
        ProcessEventsFor(std::chrono::milliseconds(20));        // the (failed) answer comes back
        result->HandleMessage(vl::WM_KEYUP, vl::VK_ESCAPE, 0);  // armed again, as a user goes on
        ProcessEventsFor(std::chrono::milliseconds(20));
    }
}

void ImageMagickCropAndEncode(benchmark::State& state) {
    vl::test::TempDir dir;
    for (auto _ : state) {
        vl::test::RunProcess({"/usr/bin/import", "-window", "root", "-crop", "800x300+0+0",
                              "-quality", "90", dir.File("out.jpg")});
    }
}

// A 50-line answer of the current run, from its arrival on the UI thread to the window painted.
void ResultToLabelsPainted(benchmark::State& state) {
    ResultWnd* result = ResultWnd::Instance();
    auto* labels = result->Manager().FindControl<skin::Container>("result_translation");
    std::uint32_t captureId = g_ocrRequests;  // one per run so far
    for (auto _ : state) {
        state.PauseTiming();
        result->Translate();
        ++captureId;
        ProcessEventsFor(std::chrono::milliseconds(30));
        TranslateTask task;
        std::vector<TranslateLine> lines(50);
        for (int i = 0; i < 50; ++i) {
            // 45 rows and 5 columns
            lines[i].vertical = i % 10 == 0;
            lines[i].rect = lines[i].vertical ? std::array{1200 + 6 * i, 0, 1224 + 6 * i, 400}
                                              : std::array{10, 20 * i, 700, 20 * i + 18};
            lines[i].translation = u"第" + std::u16string(1, u'一' + i % 9) + u"行的译文";
        }
        state.ResumeTiming();
        result->OnTranslatorResult(captureId, true, task, lines);
        while (labels->GetCount() < 50)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();  // the labels' paint and its flush to the screen
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
    std::string error;
    if (!skin::InitApplication(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    vl::test::VendorServices services;
    services.Set("/ocrapi", [](const httplib::Request&) {
        g_ocrArrival = Clock::now().time_since_epoch().count();
        ++g_ocrRequests;
        g_ocrRequests.notify_all();
        return vl::test::LoopbackServer::Reply{500, "busy"};
    });
    vl::ServiceConfig config = vl::Services();
    config.backend.url = services.Url();  // usage reports go nowhere
    vl::SetServices(config);
    vl::Http::Instance()->Init();
    ConfigManager::Instance()->conf().engine("vertical");  // Youdao: one request
    auto& region = ConfigManager::Instance()->conf().region();
    region.left(0), region.top(0), region.right(800), region.bottom(300);
    ResultWnd* result = ResultWnd::Instance();
    if (result->Create(nullptr, u"Velmora翻译-结果", skin::WS_POPUP,
                       skin::WS_EX_TOOLWINDOW | skin::WS_EX_OVERLAY) == nullptr) {
        std::fprintf(stderr, "the result window could not be created\n");
        return 1;
    }
    result->Begin();
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("GetImageAlone", ReadAlone)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsReusedBuffer", Capture, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsFreshBuffer", Capture, false)
        ->Unit(benchmark::kMillisecond);
    // One run per repetition: the figures are medians over single runs.
    benchmark::RegisterBenchmark("HotkeyToOcrRequest800x300", HotkeyToOcrRequest)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(50)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ImageMagickCropAndEncode800x300", ImageMagickCropAndEncode)
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ResultToLabelsPainted50Lines", ResultToLabelsPainted)
        ->Iterations(1)
        ->Repetitions(30)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    result->Close();
    vl::Http::Instance()->Uninit();
    return 0;
}
