#include "ui/skin/keep_above.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/x11.h"

namespace skin {

namespace {

// Another program keeping its own windows on top would trade places with ours forever: at most
// this many raises a second.
constexpr int kRaisesPerSecond = 20;

class KeepAboveWatch final : public QAbstractNativeEventFilter {
public:
    static KeepAboveWatch& Instance() {
        static KeepAboveWatch watch;
        return watch;
    }

    void Set(QWidget* window, bool keep) {
        windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                      [window](const QPointer<QWidget>& w) {
                                          return w == nullptr || w == window;
                                      }),
                       windows_.end());
        if (keep) {
            windows_.emplace_back(window);
            WatchRoot();
            Raise();
        }
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (!watching_ || eventType != "xcb_generic_event_t") {
            return false;
        }
        // These events share one layout: the window told about (root here), then the window.
        const auto* event = static_cast<const xcb_map_notify_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7F;
        if (type != XCB_CONFIGURE_NOTIFY && type != XCB_MAP_NOTIFY && type != XCB_UNMAP_NOTIFY &&
            type != XCB_REPARENT_NOTIFY && type != XCB_DESTROY_NOTIFY &&
            type != XCB_GRAVITY_NOTIFY && type != XCB_CIRCULATE_NOTIFY) {
            return false;
        }
        if (event->event != root_ || event->window == root_) {
            return false;
        }
        const bool ours = std::any_of(windows_.begin(), windows_.end(), [event](const auto& w) {
            return w != nullptr && w->internalWinId() == event->window;
        });
        if (!ours && (type == XCB_CONFIGURE_NOTIFY || type == XCB_MAP_NOTIFY ||
                      type == XCB_CIRCULATE_NOTIFY)) {
            ScheduleRaise();
        }
        return true;  // Qt never asked for the root's children
    }

private:
    void WatchRoot() {
        vl::platform::x11::Display x;
        if (watching_ || !vl::platform::x11::QtDisplay(&x)) {
            return;
        }
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(
                x.connection, xcb_get_window_attributes(x.connection, x.root), nullptr),
            &std::free);
        if (!attributes) {
            return;
        }
        const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(x.connection, x.root, XCB_CW_EVENT_MASK, &mask);
        root_ = x.root;
        watching_ = true;
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    void ScheduleRaise() {
        if (!pending_) {
            pending_ = true;
            QTimer::singleShot(0, QCoreApplication::instance(), [this] {
                pending_ = false;
                Raise();
            });
        }
    }

    void Raise() {
        vl::platform::x11::Display x;
        if (!vl::platform::x11::QtDisplay(&x)) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - second_ >= std::chrono::seconds(1)) {
            second_ = now;
            raises_ = 0;
        }
        if (++raises_ > kRaisesPerSecond) {
            return;
        }
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        for (const QPointer<QWidget>& w : windows_) {
            if (w != nullptr && w->isVisible() && w->internalWinId() != 0) {
                xcb_configure_window(x.connection, static_cast<xcb_window_t>(w->internalWinId()),
                                     XCB_CONFIG_WINDOW_STACK_MODE, &above);
            }
        }
        xcb_flush(x.connection);
    }

    std::vector<QPointer<QWidget>> windows_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    bool watching_ = false;
    bool pending_ = false;
    std::chrono::steady_clock::time_point second_;
    int raises_ = 0;
};

}  // namespace

void KeepAbove(QWidget* window, bool keep) {
    if (window != nullptr) {
        KeepAboveWatch::Instance().Set(window, keep);
    }
}

}  // namespace skin
