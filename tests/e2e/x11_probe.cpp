// Test-only program: windows of the desktop layer on the X display, in the mode argv[1] names;
// prints what the layer did and what the windows received, one line each.
//   hotkey   registers Ctrl+Alt+T, prints "hotkey <id> <count>" per WM_HOTKEY until killed
//   capture  a floating window, a white overlay (VELMORA_PROBE_MANAGED: managed); hides, captures
//   overlay  shows a full-screen overlay, prints "keyup <vk>" per key until Escape
//   clipboard  prints the clipboard's text as "clipboard <text>" (line breaks as "|")
#include <QApplication>
#include <QClipboard>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/dpi_source.h"
#include "platform/hotkey.h"
#include "platform/screen_capture.h"
#include "platform/x11.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/window.h"
#include "utils/vl_env.h"

namespace {

using namespace vl::platform;

class ProbeWnd final : public skin::Window {
public:
    const char* GetWindowClassName() const override { return "velmora_probe_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override {
        static int hotkeys = 0;
        if (msg == vl::WM_HOTKEY) {
            std::printf("hotkey %x %d\n", static_cast<unsigned>(wParam), ++hotkeys);
        } else if (msg == vl::WM_KEYUP) {
            std::printf("keyup %x\n", static_cast<unsigned>(wParam));
            if (wParam == vl::VK_ESCAPE)
                QCoreApplication::quit();
            return 0;
        }
        return Window::HandleMessage(msg, wParam, lParam);
    }
};

// The pixel at (x, y) of the R, G, B rows, or 0 without a capture.
unsigned Rgb(const ScreenCapture& shot, int x, int y) {
    const std::size_t at = (std::size_t(y) * shot.width + x) * 3;
    const auto* p = reinterpret_cast<const unsigned char*>(shot.rgb.data()) + at;
    return at + 3 > shot.rgb.size() ? 0u : (p[0] << 16) | (p[1] << 8) | p[2];
}

int Hotkey(ProbeWnd& w) {
    constexpr vl::UINT kCtrlAlt = MOD_CONTROL | MOD_ALT | MOD_NOREPEAT;
    if (RegisterHotKey(w.GetHWND(), 0x3333, kCtrlAlt, 'T')) {
        const bool sameId = RegisterHotKey(w.GetHWND(), 0x3333, kCtrlAlt, 'R');
        std::printf("registered, same id again %d, last error %u\n", sameId, LastHotKeyError());
        return QApplication::exec();
    }
    std::printf("refused, last error %u\n", LastHotKeyError());
    // Once refused, the combination is not asked for again: count the requests of a retry.
    vl::platform::x11::Display x;
    vl::platform::x11::QtDisplay(&x);
    const auto before = xcb_get_input_focus(x.connection);
    const bool again = RegisterHotKey(w.GetHWND(), 0x3334, kCtrlAlt, 'T');
    const auto after = xcb_get_input_focus(x.connection);
    xcb_discard_reply(x.connection, before.sequence);
    xcb_discard_reply(x.connection, after.sequence);
    std::printf("again %d, last error %u, requests %u\n", again, LastHotKeyError(),
                after.sequence - before.sequence - 1);
    return 0;
}

void Show(ProbeWnd& w, const skin::Rect& at, const char* colour) {
    w.MoveWindow(at.left, at.top, at.Width(), at.Height());
    w.GetWidget()->setStyleSheet(QString("background: ") + colour);
    w.GetWidget()->setAttribute(Qt::WA_StyledBackground);
    w.ShowWindow();
}

int Overlay(ProbeWnd& w, const skin::Rect& desktop) {
    Show(w, desktop, "white");
    std::printf("shown\n");
    return QApplication::exec();
}

// A floating window shown first stays above the overlay shown after it.
int Capture(ProbeWnd& w, const skin::Rect& desktop) {
    ProbeWnd floating;
    floating.Create(w.GetHWND(), u"ball", skin::WS_POPUP, skin::kFloating | skin::WS_EX_TOOLWINDOW);
    Show(floating, skin::Rect{100, 100, 140, 140}, "blue");
    Show(w, desktop, "white");
    ScreenCapture shot;
    std::string error;
    const int ball =
        static_cast<int>(120 * vl::platform::DevicePixelRatio());  // its centre in pixels
    for (int i = 0; i < 500 && (Rgb(shot, 0, 0) != 0xFFFFFF || Rgb(shot, ball, ball) != 0xFF);
         ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        CaptureScreen(&shot, &error);
    }
    std::printf("covered %06x, ball %06x\n", Rgb(shot, 0, 0), Rgb(shot, ball, ball));
    floating.ShowWindow(false);
    w.ShowWindow(false);
    if (!CaptureScreen(&shot, &error)) {
        std::printf("capture failed: %s\n", error.c_str());
        return 1;
    }
    const int r = shot.width - 1, b = shot.height - 1;
    const QSizeF logical = shot.picture.deviceIndependentSize();
    std::printf(
        "capture %dx%d stride %zu corners %06x %06x %06x %06x, picture %gx%g ratio %g corner "
        "%06x, desktop %dx%d dpi %u\n",
        shot.width, shot.height, shot.rgb.size() / shot.height, Rgb(shot, 0, 0), Rgb(shot, r, 0),
        Rgb(shot, 0, b), Rgb(shot, r, b), logical.width(), logical.height(),
        shot.picture.devicePixelRatio(), shot.picture.pixel(r, b) & 0xFFFFFF, desktop.Width(),
        desktop.Height(), vl::OSDpi());
    return 0;
}

int Clipboard() {
    QString text = QGuiApplication::clipboard()->text();
    text.replace('\n', '|');
    std::printf("clipboard %s\n", text.toUtf8().constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // every line reaches the test at once
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    vl::platform::InstallDpiSource();
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
    const int rc = mode == "hotkey"      ? Hotkey(w)
                   : mode == "capture"   ? Capture(w, desktop)
                   : mode == "overlay"   ? Overlay(w, desktop)
                   : mode == "clipboard" ? Clipboard()
                                         : 2;
    w.Close();
    loop.reset();
    vl::platform::UninstallDpiSource();
    return rc;
}
