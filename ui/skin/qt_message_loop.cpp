#include "ui/skin/qt_message_loop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

#include "utils/vl_log.h"

namespace skin {

namespace {

// Only the UI thread creates and destroys loops and reads the current one.
QtMessageLoop* g_current = nullptr;

}  // namespace

QtMessageLoop::QtMessageLoop()
    : owner_(std::this_thread::get_id()), previous_(g_current), receiver_(new QObject) {
    g_current = this;
}

QtMessageLoop::~QtMessageLoop() {
    End();
    {
        std::lock_guard lock(mutex_);
        receiver_.reset();  // drops the work still queued for it
    }
    // Closed windows are deleted later; with no loop left to run, delete them now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    vl::SetLoopEnded(this, false);  // the address may be reused by another loop
    if (g_current == this) {
        g_current = previous_;
    }
}

QtMessageLoop* QtMessageLoop::Current() {
    return g_current;
}

bool QtMessageLoop::IsLoopThread() const {
    return std::this_thread::get_id() == owner_;
}

bool QtMessageLoop::Dispatch(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (ended_ || !receiver_) {
        return false;
    }
    return QMetaObject::invokeMethod(
        receiver_.get(),
        [this, work = std::move(work)] {
            if (!ended_) {
                work();
            }
        },
        Qt::QueuedConnection);
}

int QtMessageLoop::Run() {
    int code = quitCode_;
    if (!quitRequested_) {
        code = QCoreApplication::exec();
    }
    End();
    return code;
}

void QtMessageLoop::Quit(int code) {
    quitCode_ = code;
    quitRequested_ = true;
    QCoreApplication::exit(code);
}

bool QtMessageLoop::QuitRequested() const {
    return quitRequested_;
}

void QtMessageLoop::End() {
    {
        std::lock_guard lock(mutex_);
        if (ended_) {
            return;
        }
        ended_ = true;
    }
    vl::SetLoopEnded(this, true);
}

bool QtMessageLoop::Ended() const {
    return ended_;
}

void PostQuitMessage(int code) {
    QtMessageLoop* loop = QtMessageLoop::Current();
    if (loop == nullptr) {
        VL_WARN("no message loop to quit");
        return;
    }
    loop->Quit(code);
}

}  // namespace skin
