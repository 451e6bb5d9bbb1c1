#pragma once

#include <string>

#include "ui/skin/notify.h"
#include "ui/skin/window.h"

// The shape every window shares: its layout is loaded on creation (a layout that cannot be
// built ends the process through the quit message), the window listens to its own controls
// while it exists, and OnCreate looks up the controls. Sub-windows (pages, dialogs) are run
// with skin::RunModal, which owns them until they return.
class LayoutWindow : public skin::Window, public skin::INotify {
public:
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;

protected:
    // `layout` is the file under resource/, `failure` the log text when it cannot be built.
    LayoutWindow(std::string layout, std::string failure);

    // Runs once the layout is attached; false ends the process.
    virtual bool OnCreate() { return true; }
    virtual void OnDestroy() {}

private:
    const std::string layout_;
    const std::string failure_;
};

// The four windows that live for the whole run: a close by the window manager or their own
// "close" button only hides them (they are destroyed at shutdown with Close), "minimize"
// minimises them.
class TopLevelWindow : public LayoutWindow {
public:
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

protected:
    using LayoutWindow::LayoutWindow;
};
