// Test-only program: one window of the desktop layer on the X display, in the mode argv[1] names.
// It prints what the layer did and what the window received, one line each.
//   hotkey   registers Ctrl+Alt+T, prints "hotkey <id> <count>" per WM_HOTKEY until killed
//   capture  shows a white overlay (managed with VELMORA_PROBE_MANAGED), hides it, captures
//   overlay  shows a full-screen overlay, prints "keyup <vk>" per key until Escape
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/hotkey.h"
#include "platform/screen_capture.h"
#include "ui/skin/dpi_source.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/window.h"
#include "ui/skin/x11.h"
#include "utils/vl_env.h"

namespace {

using namespace vl::platform;

template <class... Args>
void Say(const char* format, Args... args) {
    std::printf(format, args...);
    std::printf("\n");
    std::fflush(stdout);
}

class ProbeWnd final : public skin::Window {
public:
    const char* GetWindowClassName() const override { return "velmora_probe_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override {
        static int hotkeys = 0;
        if (msg == vl::WM_HOTKEY) {
            Say("hotkey %x %d", static_cast<unsigned>(wParam), ++hotkeys);
        } else if (msg == vl::WM_KEYUP) {
            Say("keyup %x", static_cast<unsigned>(wParam));
            if (wParam == vl::VK_ESCAPE)
                QCoreApplication::quit();
            return 0;
        }
        return Window::HandleMessage(msg, wParam, lParam);
    }
};

unsigned Rgb(const std::string& rgb, std::size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) + offset;
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

int Hotkey(ProbeWnd& w) {
    constexpr vl::UINT kCtrlAlt = MOD_CONTROL | MOD_ALT | MOD_NOREPEAT;
    if (RegisterHotKey(w.GetHWND(), 0x3333, kCtrlAlt, 'T')) {
        const bool sameId = RegisterHotKey(w.GetHWND(), 0x3333, kCtrlAlt, 'R');
        Say("registered, same id again %d, last error %u", sameId, LastHotKeyError());
        return QApplication::exec();
    }
    Say("refused, last error %u", LastHotKeyError());
    // Once refused, the combination is not asked for again: count the requests of a retry.
    skin::x11::Display x;
    skin::x11::QtDisplay(&x);
    const auto before = xcb_get_input_focus(x.connection);
    const bool again = RegisterHotKey(w.GetHWND(), 0x3334, kCtrlAlt, 'T');
    const auto after = xcb_get_input_focus(x.connection);
    xcb_discard_reply(x.connection, before.sequence);
    xcb_discard_reply(x.connection, after.sequence);
    Say("again %d, last error %u, requests %u", again, LastHotKeyError(),
        after.sequence - before.sequence - 1);
    return 0;
}

void Cover(ProbeWnd& w, const skin::Rect& desktop) {
    w.MoveWindow(desktop.left, desktop.top, desktop.Width(), desktop.Height());
    w.GetWidget()->setStyleSheet("background: white");
    w.GetWidget()->setAttribute(Qt::WA_StyledBackground);
    w.ShowWindow();
}

int Overlay(ProbeWnd& w, const skin::Rect& desktop) {
    Cover(w, desktop);
    Say("shown");
    return QApplication::exec();
}

int Capture(ProbeWnd& w, const skin::Rect& desktop) {
    Cover(w, desktop);
    ScreenCapture shot;
    std::string error;
    for (int i = 0; i < 500 && (shot.rgb.empty() || Rgb(shot.rgb, 0) != 0xFFFFFF); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        CaptureScreen(&shot, &error);
    }
    Say("covered %06x", shot.rgb.empty() ? 0u : Rgb(shot.rgb, 0));
    w.ShowWindow(false);
    if (!CaptureScreen(&shot, &error)) {
        Say("capture failed: %s", error.c_str());
        return 1;
    }
    const std::size_t stride = shot.rgb.size() / shot.height, last = shot.rgb.size() - 3;
    const QSizeF logical = shot.picture.deviceIndependentSize();
    Say("capture %dx%d stride %zu corners %06x %06x %06x %06x, picture %gx%g ratio %g corner "
        "%06x, desktop %dx%d dpi %u",
        shot.width, shot.height, stride, Rgb(shot.rgb, 0), Rgb(shot.rgb, stride - 3),
        Rgb(shot.rgb, last + 3 - stride), Rgb(shot.rgb, last), logical.width(), logical.height(),
        shot.picture.devicePixelRatio(),
        shot.picture.pixel(shot.width - 1, shot.height - 1) & 0xFFFFFF, desktop.Width(),
        desktop.Height(), vl::OSDpi());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    skin::InstallDpiSource();
    auto loop = std::make_unique<skin::QtMessageLoop>();
    ProbeWnd w;
    const bool managed = mode == "hotkey" || std::getenv("VELMORA_PROBE_MANAGED") != nullptr;
    const std::uint32_t style = managed ? 0 : skin::WS_EX_OVERLAY;
    skin::Rect desktop;
    if (w.Create(nullptr, u"velmora probe " + std::u16string(mode.begin(), mode.end()),
                 skin::WS_POPUP, skin::WS_EX_TOOLWINDOW | style) == nullptr ||
        !DesktopRect(&desktop)) {
        return 2;
    }
    const int rc = mode == "hotkey"    ? Hotkey(w)
                   : mode == "capture" ? Capture(w, desktop)
                   : mode == "overlay" ? Overlay(w, desktop)
                                       : 2;
    w.Close();
    loop.reset();
    skin::UninstallDpiSource();
    return rc;
}
