#pragma once

#include <functional>
#include <string>

#include "ui/layout_window.h"

namespace skin {
class Button;
class Label;
class Text;
}  // namespace skin

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

    const char* GetWindowClassName() const override { return "velmora_common_msgbox2_wnd"; }
    void Notify(const skin::Notification& msg) override;

private:
    CommonMsgBox2Wnd();
    bool OnCreate() override;

    skin::Label* title_ = nullptr;
    skin::Text* msg_ = nullptr;
    skin::Button* ok_ = nullptr;
    skin::Button* cancel_ = nullptr;
    std::function<void()> okAction_;
    std::function<void()> cancelAction_;
    std::function<void()> closeAction_;
};
