#pragma once

#include <QImage>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ui/skin/notify.h"
#include "ui/skin/window.h"

namespace vl::test {

// A window that builds `layout` on WM_CREATE and records every message and notification it gets.
class RecordingWnd : public skin::Window, public skin::INotify {
public:
    struct Message {
        vl::UINT msg;
        vl::WPARAM wParam;
        vl::LPARAM lParam;
    };

    explicit RecordingWnd(std::string layout) : layout_(std::move(layout)) {}
    ~RecordingWnd() override { Close(); }

    const char* GetWindowClassName() const override { return "velmora_recording_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    // Messages of these numbers only (all of them when empty).
    std::vector<Message> Received(std::vector<vl::UINT> filter = {});
    std::vector<skin::Notification> Notifications() const { return notifications_; }
    void Clear();

    std::function<vl::LRESULT(vl::UINT, vl::WPARAM, vl::LPARAM)> onMessage;
    bool layoutLoaded = false;
    std::thread::id lastThread;

private:
    std::string layout_;
    std::mutex mutex_;
    std::vector<Message> received_;
    std::vector<skin::Notification> notifications_;
};

// Processes Qt events until `done` holds or `timeout` passes; whether it held.
bool RunUntil(const std::function<bool()>& done,
              std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// Processes the events that are due now (a few rounds).
void ProcessEvents();

// The middle of `control` in its window's client coordinates.
QPoint CentreOf(const skin::Control* control);
// Pixels of `widget` and its children as painted, on a transparent ground.
QImage Render(QWidget* widget);

// The open window of that class name, or null.
skin::Window* FindOpenWindow(const std::string& className);

}  // namespace vl::test
