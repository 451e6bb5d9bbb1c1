#pragma once

#include <functional>
#include <string>

#include "ui/layout_window.h"

// The two-button message box: "ok" and "cancel", each with its own action, and one for the title
// bar's "close".
class CommonMsgBox2Wnd : public LayoutWindow {
public:
    // Runs the box modally over `parent`. An empty button text keeps the layout's. Each button
    // closes the box, then runs its action when present.
    static void Show(vl::HWND parent, const std::u16string& title, const std::u16string& message,
                     const std::u16string& okText, std::function<void()> okAction,
                     const std::u16string& cancelText, std::function<void()> cancelAction,
                     std::function<void()> closeAction);

    struct Content {
        std::u16string title, message, okText, cancelText;
        std::function<void()> okAction, cancelAction, closeAction;
    };
    // What Show runs through skin::RunModal.
    explicit CommonMsgBox2Wnd(Content content);

    const char* GetWindowClassName() const override { return "velmora_common_msgbox2_wnd"; }
    void Notify(const skin::Notification& msg) override;

private:
    bool OnCreate() override;

    const Content content_;
};
