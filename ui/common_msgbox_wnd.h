#pragma once

#include <functional>
#include <string>

#include "ui/layout_window.h"

namespace skin {
class Button;
class Label;
class Text;
}  // namespace skin

// The one-button message box every window talks to the user through.
class CommonMsgBoxWnd : public LayoutWindow {
public:
    // Runs the box modally over `parent`: `title`, `message`, and the "ok" button labelled `okText`
    // (the layout's own text when empty). "ok" closes the box, then runs `okAction` when present;
    // the title bar's "close" only closes it.
    static void Show(vl::HWND parent, const std::u16string& title, const std::u16string& message,
                     const std::u16string& okText, std::function<void()> okAction);

    // What Show runs through skin::RunModal.
    CommonMsgBoxWnd(std::u16string title, std::u16string message, std::u16string okText,
                    std::function<void()> okAction);

    const char* GetWindowClassName() const override { return "velmora_common_msgbox_wnd"; }
    void Notify(const skin::Notification& msg) override;

private:
    bool OnCreate() override;

    const std::u16string title_;
    const std::u16string message_;
    const std::u16string okText_;
    const std::function<void()> okAction_;
};
