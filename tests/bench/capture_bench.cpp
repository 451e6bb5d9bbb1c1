// Screen capture of a 1920×1080 root window on an Xvfb server of its own: the X11 read alone, and
// the read into both forms (R, G, B rows and the display picture), into a reused buffer as the
// capture windows keep one, and into a fresh one.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/screen_capture.h"
#include "tests/e2e/desktop_session.h"
#include "tests/support/log_capture.h"
#include "ui/skin/x11.h"

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
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("GetImageAlone", ReadAlone)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsReusedBuffer", Capture, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CaptureBothFormsFreshBuffer", Capture, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
