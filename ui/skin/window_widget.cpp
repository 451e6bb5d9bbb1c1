#include "ui/skin/window_widget.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QTimerEvent>
#include <QWindow>
#include <utility>

#include "ui/skin/combo.h"
#include "ui/skin/edit.h"
#include "ui/skin/input_messages.h"
#include "ui/skin/keep_above.h"
#include "ui/skin/window.h"
#include "utils/vl_log.h"

namespace skin {

namespace {

Qt::Edges EdgesOfHit(vl::LRESULT hit) {
    switch (hit) {
        case vl::HTLEFT:
            return Qt::LeftEdge;
        case vl::HTRIGHT:
            return Qt::RightEdge;
        case vl::HTTOP:
            return Qt::TopEdge;
        case vl::HTBOTTOM:
            return Qt::BottomEdge;
        case vl::HTTOPLEFT:
            return Qt::TopEdge | Qt::LeftEdge;
        case vl::HTTOPRIGHT:
            return Qt::TopEdge | Qt::RightEdge;
        case vl::HTBOTTOMLEFT:
            return Qt::BottomEdge | Qt::LeftEdge;
        case vl::HTBOTTOMRIGHT:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return {};
    }
}

// Text entries take their keys themselves, as native edit boxes do.
bool FocusTakesKeys(QWidget* top) {
    QWidget* focus = top->focusWidget();
    return focus != nullptr &&
           (qobject_cast<Edit*>(focus) != nullptr || qobject_cast<Combo*>(focus) != nullptr);
}

}  // namespace

WindowWidget::WindowWidget(Window* owner, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), owner_(owner) {
    setMouseTracking(true);
}

WindowWidget::~WindowWidget() {
    // Deleted with its owner's widget while the window still exists: the window goes too.
    if (owner_ != nullptr) {
        Window* window = owner_;
        owner_ = nullptr;
        window->Teardown(true);
    }
}

void WindowWidget::WatchNativeWindow() {
    QWindow* native = windowHandle();
    if (native == watched_) {
        return;
    }
    if (watched_ != nullptr) {
        watched_->removeEventFilter(this);
    }
    watched_ = native;
    if (native != nullptr) {
        native->installEventFilter(this);
    }
}

void WindowWidget::SetExStyle(std::uint32_t exStyle) {
    layered_ = (exStyle & WS_EX_LAYERED) != 0;
    overlay_ = (exStyle & WS_EX_OVERLAY) != 0;
    fullScreen_ = overlay_ && CompositorPlacesWindows();
    floating_ = keepAbove_ = (exStyle & kFloating) == kFloating && !CompositorPlacesWindows();
    setAttribute(Qt::WA_TranslucentBackground, layered_);
    setAttribute(Qt::WA_ShowWithoutActivating, (exStyle & WS_EX_NOACTIVATE) != 0);
}

void WindowWidget::UpdateShape() {
    if (!layered_ || size().isEmpty()) {
        return;
    }
    QImage picture(size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    // Half-transparent edges count as outside: without a compositor they would look dark.
    setMask(QBitmap::fromImage(picture.createAlphaMask(Qt::ThresholdAlphaDither)));
}

void WindowWidget::SetKeepAbove(bool keep) {
    if (!floating_) {
        return;
    }
    keepAbove_ = keep;
    KeepAbove(this, keep && isVisible());
}

void WindowWidget::TakeKeyboard(bool take, int attempt) {
    QWindow* native = windowHandle();
    if (native == nullptr) {
        return;
    }
    if (!take) {
        native->setKeyboardGrabEnabled(false);
        return;
    }
    native->requestActivate();  // Qt sends keys to its focus window
    if (native->setKeyboardGrabEnabled(true)) {
        return;
    }
    // Another program holds the keyboard for a moment (an open menu): try again shortly.
    if (attempt < 20) {
        QTimer::singleShot(50, this, [this, attempt] {
            if (isVisible())
                TakeKeyboard(true, attempt + 1);
        });
    } else {
        VL_WARN("keyboard grab for {} failed", objectName().toStdString());
    }
}

void WindowWidget::setVisible(bool visible) {
    if (owner_ != nullptr && visible != isVisible()) {
        owner_->Deliver(vl::WM_SHOWWINDOW, visible ? 1 : 0, 0);
        if (owner_ == nullptr && visible) {
            return;  // destroyed while being shown
        }
    }
    const bool change = visible != isVisible();
    if (change && overlay_ && !visible) {
        TakeKeyboard(false);
    }
    if (change && keepAbove_ && !visible) {
        KeepAbove(this, false);
    }
    if (change && visible) {
        UpdateShape();
    }
    if (change && fullScreen_ && visible) {
        setWindowState(windowState() | Qt::WindowFullScreen);
    }
    QWidget::setVisible(visible);
    WatchNativeWindow();
    if (change && overlay_ && visible) {
        TakeKeyboard(true);
    }
    if (change && keepAbove_ && visible) {
        KeepAbove(this, true);
    }
}

bool WindowWidget::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange) {
        WatchNativeWindow();
    } else if (event->type() == QEvent::Resize && isVisible()) {
        UpdateShape();
    }
    return QWidget::event(event);
}

void WindowWidget::closeEvent(QCloseEvent* event) {
    // The window decides: its default WM_CLOSE handling destroys it.
    event->ignore();
    if (owner_ != nullptr) {
        owner_->Deliver(vl::WM_CLOSE, kModalAborted, 0);
    }
}

void WindowWidget::timerEvent(QTimerEvent* event) {
    if (owner_ != nullptr) {
        owner_->OnQtTimer(event->timerId());
    }
}

bool WindowWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != watched_ || owner_ == nullptr) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return OnMouse(static_cast<QMouseEvent*>(event));
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return OnKey(static_cast<QKeyEvent*>(event));
        default:
            return false;
    }
}

bool WindowWidget::OnMouse(QMouseEvent* event) {
    const QPoint client = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    if (drag_.active) {
        if (event->type() == QEvent::MouseMove) {
            ContinueManualDrag(global);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            drag_.active = false;
        }
        return true;
    }
    // A second quick press arrives as a press followed by a double click: the press is enough.
    if (event->type() == QEvent::MouseButtonDblClick) {
        return false;
    }
    const bool leftPress =
        event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton;
    if (leftPress || (event->type() == QEvent::MouseMove && event->buttons() == Qt::NoButton)) {
        const vl::LRESULT hit =
            owner_->Deliver(vl::WM_NCHITTEST, 0, vl::MakeLParam(global.x(), global.y()));
        if (owner_ == nullptr) {
            return true;
        }
        if (leftPress && BeginNonClientDrag(hit, global)) {
            return true;
        }
        if (!leftPress) {
            UpdateCursor(hit);
        }
    }
    vl::UINT msg = 0;
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    switch (event->type()) {
        case QEvent::MouseMove:
            msg = vl::WM_MOUSEMOVE;
            break;
        case QEvent::MouseButtonPress:
            msg = left ? vl::WM_LBUTTONDOWN : right ? vl::WM_RBUTTONDOWN : 0;
            break;
        case QEvent::MouseButtonRelease:
            msg = left ? vl::WM_LBUTTONUP : right ? vl::WM_RBUTTONUP : 0;
            break;
        default:
            break;
    }
    if (msg != 0) {
        owner_->Deliver(msg, MouseKeyState(event->buttons(), event->modifiers()),
                        vl::MakeLParam(client.x(), client.y()));
    }
    // A window closed by its own handler passes nothing on to its controls.
    return owner_ == nullptr;
}

bool WindowWidget::OnKey(QKeyEvent* event) {
    if (FocusTakesKeys(this)) {
        return false;
    }
    const vl::WPARAM vk = VirtualKeyFromQt(event->key());
    if (vk == 0) {
        return false;
    }
    const bool release = event->type() == QEvent::KeyRelease;
    Window* window = owner_;
    const bool outer = std::exchange(window->keyPassedOn_, false);  // a key within a key
    window->Deliver(release ? vl::WM_KEYUP : vl::WM_KEYDOWN, vk,
                    KeyLParam(release, event->isAutoRepeat(), event->nativeScanCode()));
    if (owner_ == nullptr) {
        return true;  // closed by its own handler: the key goes no further
    }
    return !std::exchange(window->keyPassedOn_, outer);
}

bool WindowWidget::BeginNonClientDrag(vl::LRESULT hit, QPoint globalPos) {
    const Qt::Edges edges = EdgesOfHit(hit);
    if (hit != vl::HTCAPTION && edges == Qt::Edges{}) {
        return false;
    }
    // A window the window manager leaves alone is moved here: a window-manager drag does nothing.
    QWindow* native = windowHandle();
    if (native != nullptr && !(windowFlags() & Qt::BypassWindowManagerHint)) {
        const bool started =
            hit == vl::HTCAPTION ? native->startSystemMove() : native->startSystemResize(edges);
        if (started) {
            return true;
        }
    }
    // The platform cannot do it (no window manager, offscreen): follow the mouse ourselves.
    drag_.active = true;
    drag_.edges = edges;
    drag_.pressGlobal = globalPos;
    drag_.startGeometry = geometry();
    return true;
}

void WindowWidget::ContinueManualDrag(QPoint globalPos) {
    const QPoint delta = globalPos - drag_.pressGlobal;
    QRect g = drag_.startGeometry;
    if (drag_.edges == Qt::Edges{}) {
        move(g.topLeft() + delta);
        return;
    }
    const QSize minimum = minimumSize().expandedTo(QSize(1, 1));
    if (drag_.edges & Qt::LeftEdge)
        g.setLeft(std::min(g.left() + delta.x(), g.right() + 1 - minimum.width()));
    if (drag_.edges & Qt::RightEdge)
        g.setRight(std::max(g.right() + delta.x(), g.left() + minimum.width() - 1));
    if (drag_.edges & Qt::TopEdge)
        g.setTop(std::min(g.top() + delta.y(), g.bottom() + 1 - minimum.height()));
    if (drag_.edges & Qt::BottomEdge)
        g.setBottom(std::max(g.bottom() + delta.y(), g.top() + minimum.height() - 1));
    setGeometry(g);
}

void WindowWidget::UpdateCursor(vl::LRESULT hit) {
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (hit) {
        case vl::HTLEFT:
        case vl::HTRIGHT:
            shape = Qt::SizeHorCursor;
            break;
        case vl::HTTOP:
        case vl::HTBOTTOM:
            shape = Qt::SizeVerCursor;
            break;
        case vl::HTTOPLEFT:
        case vl::HTBOTTOMRIGHT:
            shape = Qt::SizeFDiagCursor;
            break;
        case vl::HTTOPRIGHT:
        case vl::HTBOTTOMLEFT:
            shape = Qt::SizeBDiagCursor;
            break;
        default:
            unsetCursor();
            return;
    }
    setCursor(shape);
}

}  // namespace skin
