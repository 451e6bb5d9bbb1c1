#include "tests/ui/ui_test_util.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include "ui/skin/control.h"
#include "ui/skin/window_widget.h"

namespace vl::test {

vl::LRESULT RecordingWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    {
        std::lock_guard lock(mutex_);
        received_.push_back({msg, wParam, lParam});
        lastThread = std::this_thread::get_id();
    }
    if (msg == vl::WM_CREATE) {
        layoutLoaded = layout_.empty() || Manager().LoadLayout(layout_);
        Manager().AddNotifier(this);
        return 0;
    }
    if (msg == vl::WM_DESTROY) {
        Manager().RemoveNotifier(this);
    }
    if (onMessage) {
        const vl::LRESULT rc = onMessage(msg, wParam, lParam);
        if (rc != 0)
            return rc;
    }
    return Window::HandleMessage(msg, wParam, lParam);
}

void RecordingWnd::Notify(const skin::Notification& msg) {
    notifications_.push_back(msg);
}

std::vector<RecordingWnd::Message> RecordingWnd::Received(std::vector<vl::UINT> filter) {
    std::lock_guard lock(mutex_);
    std::vector<Message> out;
    for (const Message& m : received_) {
        if (filter.empty() || std::find(filter.begin(), filter.end(), m.msg) != filter.end()) {
            out.push_back(m);
        }
    }
    return out;
}

void RecordingWnd::Clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    notifications_.clear();
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void ProcessEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
    // Outside an event loop, widgets of closed windows wait here to be deleted.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QPoint CentreOf(const skin::Control* control) {
    const skin::Rect r = control->GetPos();
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

QImage Render(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

skin::Window* FindOpenWindow(const std::string& className) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* ww = qobject_cast<skin::WindowWidget*>(w);
        if (ww != nullptr && ww->Owner() != nullptr &&
            className == ww->Owner()->GetWindowClassName()) {
            return ww->Owner();
        }
    }
    return nullptr;
}

}  // namespace vl::test
