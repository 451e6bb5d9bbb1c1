#include "ui/result_float_wnd.h"

#include <QCursor>
#include <algorithm>
#include <chrono>

#include "ui/capture_geometry.h"
#include "ui/result_wnd.h"
#include "utils/vl_log.h"

namespace {

constexpr vl::WPARAM kDragTimer = 1;
constexpr unsigned kDragTimerMs = 15;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ResultFloatWnd::ResultFloatWnd()
    : LayoutWindow("result/float.xml", "create result float window failed") {}

bool ResultFloatWnd::OnCreate() {
    skin::Rect rect;
    if (GetWindowRect(&rect)) {
        width_ = rect.Width();
        height_ = rect.Height();
    } else {
        VL_ERROR("GetWindowRect failed, last error {}", 0);
    }
    return true;
}

vl::LRESULT ResultFloatWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_LBUTTONDOWN:
            OnLButtonDown(lParam);
            return 0;
        case vl::WM_LBUTTONUP:
            OnLButtonUp(lParam);
            return 0;
        case vl::WM_RBUTTONDOWN:
            OnRButtonDown(lParam);
            return 0;
        case vl::WM_RBUTTONUP:
            OnRButtonUp(lParam);
            return 0;
        case vl::WM_MOUSEMOVE: {
            const Point point = CurPos(lParam);
            Track(point);
            DragWindow(point);
            return 0;
        }
        case vl::WM_SHOWWINDOW:
            // Hidden while a button is down (a hotkey run): that release will never come here.
            if (wParam == 0) {
                left_ = right_ = Press{};
                KillTimer(kDragTimer);
            }
            return LayoutWindow::HandleMessage(msg, wParam, lParam);
        case vl::WM_TIMER:
            // Keeps up with a pointer faster than its move events.
            if (wParam == kDragTimer && left_.pressed) {
                const QPoint cursor = QCursor::pos();
                const Point point{cursor.x(), cursor.y()};
                Track(point);
                DragWindow(point);
            }
            return LayoutWindow::HandleMessage(msg, wParam, lParam);
        default:
            return LayoutWindow::HandleMessage(msg, wParam, lParam);
    }
}

ResultFloatWnd::Point ResultFloatWnd::CurPos(vl::LPARAM lParam) const {
    // Signed: while dragging, the pointer may be left of or above the ball.
    Point p{vl::GetXLParam(lParam), vl::GetYLParam(lParam)};
    if (!ClientToScreen(&p.x, &p.y)) {
        VL_ERROR("ClientToScreen failed");
        return Point{};
    }
    return p;
}

void ResultFloatWnd::Track(Point point) {
    for (Press* press : {&left_, &right_}) {
        if (press->pressed) {
            press->travel = std::max(press->travel,
                                     capture::Travel(press->at.x, press->at.y, point.x, point.y));
        }
    }
}

void ResultFloatWnd::DragWindow(Point point) {
    if (!left_.pressed) {
        return;
    }
    if (!MoveWindow(point.x - dragOffset_.x, point.y - dragOffset_.y, width_, height_)) {
        VL_ERROR("MoveWindow failed, last error {}", 0);
    }
}

void ResultFloatWnd::OnLButtonDown(vl::LPARAM lParam) {
    left_.pressed = true;
    left_.time = NowMs();
    left_.at = CurPos(lParam);
    skin::Rect rect;
    if (!GetWindowRect(&rect)) {
        VL_ERROR("GetWindowRect failed, last error {}", 0);
    }
    dragOffset_ = Point{left_.at.x - rect.left, left_.at.y - rect.top};
    SetTimer(kDragTimer, kDragTimerMs);
}

bool ResultFloatWnd::EndPress(Press& press) {
    press.pressed = false;
    const bool quick = capture::IsQuickClick(NowMs() - press.time, press.travel);
    press.travel = 0;
    return quick;
}

void ResultFloatWnd::OnLButtonUp(vl::LPARAM lParam) {
    const Point point = CurPos(lParam);
    Track(point);
    if (!left_.pressed) {
        return;  // pressed elsewhere
    }
    KillTimer(kDragTimer);
    if (EndPress(left_)) {
        ResultWnd::Instance()->Translate();
    }
}

void ResultFloatWnd::OnRButtonDown(vl::LPARAM lParam) {
    right_.pressed = true;
    right_.time = NowMs();
    right_.at = CurPos(lParam);
}

void ResultFloatWnd::OnRButtonUp(vl::LPARAM lParam) {
    Track(CurPos(lParam));
    if (right_.pressed && EndPress(right_)) {
        ResultWnd::Instance()->Region();
    }
}
