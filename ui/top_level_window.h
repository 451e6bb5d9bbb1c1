#pragma once

#include <string>

#include "ui/skin/notify.h"
#include "ui/skin/window.h"

// What the four windows that live for the whole run share: their layout is loaded on creation
// (a missing layout ends the process through the quit message), they listen to their own
// controls, and a close by the window manager only hides them — they are destroyed at shutdown
// with Close.
class TopLevelWindow : public skin::Window, public skin::INotify {
public:
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

protected:
    // `layout` is the file under resource/, `failure` the log text when it cannot be built.
    TopLevelWindow(std::string layout, std::string failure);

    // Looks up the window's controls once its layout is attached; false ends the process.
    virtual bool OnCreate() { return true; }
    virtual void OnDestroy() {}

private:
    const std::string layout_;
    const std::string failure_;
};
