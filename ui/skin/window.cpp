#include "ui/skin/window.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <unordered_map>

#include "platform/hotkey.h"
#include "ui/skin/hit_test.h"
#include "ui/skin/icon_registry.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/window_widget.h"
#include "utils/vl_log.h"
#include "utils/vl_session.h"

namespace skin {

namespace {

// Handle -> window, for owners and FromHWND. Windows are created and destroyed on the UI thread.
// Never destroyed: a process-wide window object may still go away after static destructors ran.
std::unordered_map<vl::HWND, Window*>& Windows() {
    static auto* windows = new std::unordered_map<vl::HWND, Window*>;
    return *windows;
}

}  // namespace

bool CompositorPlacesWindows() {
    return vl::DetectSession() == vl::SessionKind::Wayland;
}

Window::Window() = default;

Window::~Window() {
    // Normally closed already; otherwise the window goes without its class's WM_DESTROY handling.
    if (hwnd_ != nullptr && QCoreApplication::instance() != nullptr) {
        Destroy();
    }
}

Window* Window::FromHWND(vl::HWND hwnd) {
    const auto it = Windows().find(hwnd);
    return it == Windows().end() ? nullptr : it->second;
}

QWidget* Window::GetWidget() const {
    return widget_.data();
}

vl::HWND Window::Create(vl::HWND owner, const std::u16string& title, std::uint32_t style,
                        std::uint32_t exStyle, int x, int y, int cx, int cy) {
    if (hwnd_ != nullptr) {
        VL_WARN("window {} exists already", GetWindowClassName());
        return hwnd_;
    }
    QtMessageLoop* loop = QtMessageLoop::Current();
    if (loop == nullptr || !loop->IsLoopThread()) {
        VL_ERROR("CreateWindowEx failed for {}, no message loop on this thread",
                 GetWindowClassName());
        return nullptr;
    }
    Window* ownerWindow = owner != nullptr ? FromHWND(owner) : nullptr;
    if (owner != nullptr && ownerWindow == nullptr) {
        VL_WARN("owner of {} is not a window of this thread", GetWindowClassName());
    }
    Qt::WindowFlags flags = (exStyle & WS_EX_TOOLWINDOW) != 0 ? Qt::Tool : Qt::Window;
    if ((style & WS_POPUP) != 0)
        flags |= Qt::FramelessWindowHint;
    if ((exStyle & WS_EX_TOPMOST) != 0)
        flags |= Qt::WindowStaysOnTopHint;
    if ((exStyle & WS_EX_NOACTIVATE) != 0)
        flags |= Qt::WindowDoesNotAcceptFocus;
    const Qt::WindowFlags bypass =
        CompositorPlacesWindows() ? Qt::WindowFlags{} : Qt::BypassWindowManagerHint;
    if ((exStyle & kFloating) == kFloating)
        flags |= Qt::FramelessWindowHint | bypass;
    if ((exStyle & WS_EX_OVERLAY) != 0)
        flags |= Qt::FramelessWindowHint | bypass | Qt::WindowStaysOnTopHint;

    QWidget* parent = ownerWindow != nullptr ? ownerWindow->GetWidget() : nullptr;
    widget_ = new WindowWidget(this, parent, flags);
    widget_->SetExStyle(exStyle);
    exStyle_ = exStyle;
    widget_->setObjectName(QString::fromLatin1(GetWindowClassName()));
    widget_->setWindowTitle(QString::fromStdU16String(title));
    widget_->winId();  // the native window exists from now on, as on other platforms
    widget_->WatchNativeWindow();

    hwnd_ = vl::RegisterWindow(this, loop);
    Windows()[hwnd_] = this;
    manager_.Init(widget_);
    if (HandleMessage(vl::WM_CREATE, 0, 0) == -1) {
        VL_WARN("WM_CREATE refused for {}", GetWindowClassName());
        Destroy();
        return nullptr;
    }
    if (widget_ == nullptr) {
        return nullptr;  // destroyed while being created
    }
    if (cx != CW_USEDEFAULT && cy != CW_USEDEFAULT) {
        widget_->resize(cx, cy);
    }
    if (x != CW_USEDEFAULT && y != CW_USEDEFAULT) {
        widget_->move(x, y);
    }
    return hwnd_;
}

void Window::ShowWindow(bool show, bool takeFocus) {
    if (widget_ == nullptr) {
        return;
    }
    if (!show) {
        widget_->hide();
        return;
    }
    if (widget_->isMinimized()) {
        widget_->showNormal();
    } else {
        widget_->show();
    }
    if (takeFocus && widget_ != nullptr) {
        widget_->raise();
        if ((exStyle_ & WS_EX_NOACTIVATE) == 0)
            widget_->activateWindow();
    }
}

bool Window::IsVisible() const {
    return widget_ != nullptr && widget_->isVisible();
}

void Window::Minimize() {
    if (widget_ != nullptr)
        widget_->showMinimized();
}

bool Window::IsMaximized() const {
    return widget_ != nullptr && widget_->isMaximized();
}

void Window::CenterWindow() {
    if (widget_ == nullptr) {
        return;
    }
    QScreen* screen =
        widget_->screen() != nullptr ? widget_->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect();
    QRect area = work;
    if (QWidget* owner = widget_->parentWidget();
        owner != nullptr && owner->isVisible() && !owner->isMinimized()) {
        area = owner->frameGeometry();
    }
    QRect frame = widget_->frameGeometry();
    frame.moveCenter(area.center());
    if (!work.isEmpty()) {
        // Keep it on the screen, the top-left corner first.
        frame.moveRight(std::min(frame.right(), work.right()));
        frame.moveBottom(std::min(frame.bottom(), work.bottom()));
        frame.moveLeft(std::max(frame.left(), work.left()));
        frame.moveTop(std::max(frame.top(), work.top()));
    }
    widget_->move(frame.topLeft());
}

void Window::SetTopmost(bool topmost) {
    if (widget_ == nullptr) {
        return;
    }
    // On the native window: changing the widget's flags would recreate and hide it.
    if (QWindow* native = widget_->windowHandle()) {
        native->setFlag(Qt::WindowStaysOnTopHint, topmost);
    }
    widget_->SetKeepAbove(topmost);
    widget_->raise();
}

void Window::UpdateShape() {
    if (widget_ != nullptr)
        widget_->UpdateShape();
}

bool Window::GetWindowRect(Rect* rect) const {
    if (widget_ == nullptr || rect == nullptr) {
        return false;
    }
    const QRect g = widget_->frameGeometry();
    *rect = Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return true;
}

bool Window::MoveWindow(int x, int y, int width, int height) {
    if (widget_ == nullptr || width < 0 || height < 0) {
        return false;
    }
    widget_->setGeometry(x, y, width, height);
    return true;
}

bool Window::ClientToScreen(int* x, int* y) const {
    if (widget_ == nullptr || x == nullptr || y == nullptr) {
        return false;
    }
    const QPoint p = widget_->mapToGlobal(QPoint(*x, *y));
    *x = p.x();
    *y = p.y();
    return true;
}

vl::UINT Window::ShowModal() {
    if (widget_ == nullptr) {
        return kModalAborted;
    }
    if (modalLoop_ != nullptr) {
        VL_WARN("{} runs modally already", GetWindowClassName());
        return kModalAborted;
    }
    QtMessageLoop* loop = QtMessageLoop::Current();
    if (loop == nullptr || loop->QuitRequested() || loop->Ended()) {
        return kModalAborted;  // the thread is quitting: no new modal run
    }
    modalResult_ = kModalAborted;
    if (!widget_->isVisible()) {
        widget_->setWindowModality(widget_->parentWidget() != nullptr ? Qt::WindowModal
                                                                      : Qt::ApplicationModal);
    }
    QEventLoop eventLoop;
    modalLoop_ = &eventLoop;
    ShowWindow(true, true);
    if (hwnd_ != nullptr && widget_ != nullptr) {
        eventLoop.exec();
    }
    modalLoop_ = nullptr;
    return modalResult_;
}

void Window::Close(vl::UINT result) {
    if (hwnd_ == nullptr) {
        return;
    }
    Deliver(vl::WM_CLOSE, result, 0);
}

bool Window::SetTimer(vl::WPARAM id, unsigned elapseMs) {
    if (widget_ == nullptr || destroying_) {
        return false;
    }
    KillTimer(id);
    const int qtId = widget_->startTimer(static_cast<int>(std::min(elapseMs, 0x7FFFFFFFu)));
    if (qtId == 0) {
        return false;
    }
    timers_[id] = qtId;
    return true;
}

bool Window::KillTimer(vl::WPARAM id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) {
        return false;
    }
    if (widget_ != nullptr) {
        widget_->killTimer(it->second);
    }
    timers_.erase(it);
    return true;
}

void Window::OnQtTimer(int qtTimerId) {
    for (const auto& [id, qtId] : timers_) {
        if (qtId == qtTimerId) {
            Deliver(vl::WM_TIMER, id, 0);
            return;
        }
    }
}

vl::LRESULT Window::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_CLOSE:
            modalResult_ = static_cast<vl::UINT>(wParam);
            Destroy();
            return 0;
        case vl::WM_NCHITTEST:
            return CommonHitTest(*this, lParam);
        case vl::WM_KEYDOWN:
        case vl::WM_KEYUP:
            keyPassedOn_ = true;
            return 0;
        case vl::WM_SETICON: {
            const QIcon icon = IconFromHandle(reinterpret_cast<vl::HICON>(lParam));
            if (widget_ != nullptr && !icon.isNull()) {
                widget_->setWindowIcon(icon);
            }
            return 0;
        }
        default:
            return 0;
    }
}

vl::LRESULT Window::Deliver(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (hwnd_ == nullptr || destroying_) {
        return 0;
    }
    return HandleMessage(msg, wParam, lParam);
}

void Window::Destroy() {
    Teardown(false);
}

void Window::Teardown(bool widgetGone) {
    if (hwnd_ == nullptr || destroying_) {
        return;
    }
    destroying_ = true;
    const vl::HWND hwnd = hwnd_;
    vl::BeginDestroyWindow(hwnd);
    HandleMessage(vl::WM_DESTROY, 0, 0);
    vl::platform::ReleaseHotKeysOfWindow(hwnd);  // a window's hotkeys go with it
    for (const auto& [id, qtId] : timers_) {
        if (widget_ != nullptr)
            widget_->killTimer(qtId);
    }
    timers_.clear();
    manager_.Detach();
    if (WindowWidget* widget = widget_.data()) {
        widget->Detach();
        if (!widgetGone) {
            widget->hide();
            // Later: the widget may be delivering the event that closed it.
            widget->deleteLater();
        }
    }
    widget_ = nullptr;
    Windows().erase(hwnd);
    vl::UnregisterWindow(hwnd);
    hwnd_ = nullptr;
    destroying_ = false;
    if (modalLoop_ != nullptr) {
        modalLoop_->exit(0);
    }
}

}  // namespace skin
