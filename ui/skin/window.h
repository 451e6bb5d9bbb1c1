#pragma once

#include <QPointer>
#include <cstdint>
#include <map>
#include <string>

#include "ui/skin/paint_manager.h"
#include "ui/skin/rect.h"
#include "utils/vl_wnd.h"

class QEventLoop;
class QWidget;

namespace skin {

class WindowWidget;

inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_EX_TOPMOST = 0x00000008u;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080u;
// A translucent background: what the layout leaves transparent shows the desktop. The window is
// also shaped to the opaque part of its picture when shown and resized, so a round picture gives
// a round window without a compositing manager too; after changing the picture call UpdateShape.
inline constexpr std::uint32_t WS_EX_LAYERED = 0x00080000u;
// Never takes the keyboard focus: not when shown (also by ShowWindow(true, true)), not when
// clicked.
inline constexpr std::uint32_t WS_EX_NOACTIVATE = 0x08000000u;
// Ours: a full-screen overlay. The window manager leaves it alone (no frame, no panel above it);
// it stays above every managed window, and while shown it holds the keyboard (X11 keyboard grab,
// released when hidden), so Enter, Escape and Space reach it whatever had the focus. Place it
// over DesktopRect (platform/screen_capture.h) before showing it.
inline constexpr std::uint32_t WS_EX_OVERLAY = 0x40000000u;
// A floating window (a small ball): WS_EX_TOPMOST | WS_EX_NOACTIVATE, usually with
// WS_EX_TOOLWINDOW and WS_EX_LAYERED. The window manager leaves it alone too; while shown it is
// kept above every other window, overlays included, and SetTopmost(false) lets others cover it.
// It never has the focus; caption drags move it without the window manager.
inline constexpr std::uint32_t kFloating = WS_EX_TOPMOST | WS_EX_NOACTIVATE;
// True on a Wayland session. There no window can place itself or stay above the others: an
// overlay is shown full-screen by the compositor (keys reach it while it has the focus), and a
// floating window is an ordinary small window the compositor places and stacks.
bool CompositorPlacesWindows();
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
// What ShowModal returns when the run ended without Close: the loop quit, or the window was
// closed by the window manager.
inline constexpr vl::UINT kModalAborted = static_cast<vl::UINT>(-1);

// The base of every window: a top-level Qt widget with a window handle, a paint manager for its
// layout, and a HandleMessage that receives WM_* messages. The skin turns Qt events into messages:
// mouse input (client coordinates in lParam, MK_* state in wParam), keys (virtual key codes in
// wParam; not while a text entry has the focus), WM_SHOWWINDOW before the window is shown or
// hidden, WM_TIMER for timers, WM_CLOSE when the window manager closes it. A left press where the
// hit test answers HTCAPTION or a border moves or resizes the window instead.
// A key message goes on to the window's focused control only when it reaches the default
// handling below (Window::HandleMessage); a handler that answers a key itself swallows it.
// Windows live on the UI thread; close a window before deleting it. A window never deletes
// itself: whoever created it frees it once it is closed (RunModal for modal sub-windows, the
// singletons for the windows that live for the whole run), so code after Close in a handler may
// still use the window's members.
class Window : public vl::IMessageHandler {
public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // "velmora_" + the window's file name.
    virtual const char* GetWindowClassName() const = 0;

    // Builds the window hidden, registers its handle with the current message loop and sends
    // WM_CREATE (which usually loads the layout; the layout's size becomes the window's unless a
    // size is given). Styles: WS_POPUP (no frame), WS_EX_TOOLWINDOW (no taskbar entry),
    // WS_EX_TOPMOST, WS_EX_LAYERED, WS_EX_NOACTIVATE, WS_EX_OVERLAY (above). An owned window stays
    // above its owner and is destroyed with it. Null when WM_CREATE answers -1 or no message loop
    // runs on this thread.
    vl::HWND Create(vl::HWND owner, const std::u16string& title, std::uint32_t style,
                    std::uint32_t exStyle, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT,
                    int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    vl::HWND GetHWND() const { return hwnd_; }
    // The window of a handle created on this thread, or null.
    static Window* FromHWND(vl::HWND hwnd);

    QWidget* GetWidget() const;
    PaintManager& Manager() { return manager_; }

    void ShowWindow(bool show = true, bool takeFocus = true);
    bool IsVisible() const;
    void Minimize();
    bool IsMaximized() const;
    // Centres the window over its owner when that is shown, else on its screen's work area.
    void CenterWindow();
    // Keeps the window above all others (or not) and raises it; a floating window (kFloating) is
    // also kept above overlays.
    void SetTopmost(bool topmost);
    // WS_EX_LAYERED windows: shapes the window again to the opaque part of what it paints.
    void UpdateShape();
    // Screen rectangle of the window; false before Create.
    bool GetWindowRect(Rect* rect) const;
    bool MoveWindow(int x, int y, int width, int height);
    // Client coordinates to screen coordinates; false before Create.
    bool ClientToScreen(int* x, int* y) const;

    // Shows the window and runs a modal loop (the owner takes no input meanwhile) until the window
    // is closed; returns the value given to Close, or kModalAborted.
    vl::UINT ShowModal();
    // Sends WM_CLOSE with `result`; its default handling destroys the window.
    void Close(vl::UINT result = 1);
    // Destroys the window at once (WM_DESTROY, then the handle is gone), whatever WM_CLOSE does.
    void Destroy();

    // WM_TIMER with `id` in wParam every `elapseMs` milliseconds; replaces a timer of the same id.
    bool SetTimer(vl::WPARAM id, unsigned elapseMs);
    // False when no timer of that id runs.
    bool KillTimer(vl::WPARAM id);

    // The default handling: WM_CLOSE destroys the window (wParam is the modal result),
    // WM_NCHITTEST answers the common hit test, WM_SETICON sets the icon (lParam an icon handle of
    // RegisterIcon), WM_KEYDOWN and WM_KEYUP pass the key on; everything else answers 0.
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;

private:
    friend class WindowWidget;

    // Runs the handler unless the window is gone.
    vl::LRESULT Deliver(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam);
    // WM_DESTROY and release; `widgetGone` when Qt is deleting the widget already.
    void Teardown(bool widgetGone);
    void OnQtTimer(int qtTimerId);

    vl::HWND hwnd_ = nullptr;
    QPointer<WindowWidget> widget_;
    PaintManager manager_;
    std::map<vl::WPARAM, int> timers_;  // id -> Qt timer id
    QEventLoop* modalLoop_ = nullptr;
    vl::UINT modalResult_ = kModalAborted;
    bool destroying_ = false;
    std::uint32_t exStyle_ = 0;
    bool keyPassedOn_ = false;  // the key being delivered reached the default handling
};

}  // namespace skin
