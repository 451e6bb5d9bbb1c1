#pragma once

#include <cstdint>

#include "platform/screen_capture.h"
#include "ui/layout_window.h"
#include "ui/skin/rect.h"

namespace skin {
class Control;
class Label;
}  // namespace skin

// Region selection: the frozen screen under a dark veil. A drag with the left button (either
// direction) opens the veil over the selection; Enter or Space stores it in the settings in
// physical pixels; Escape or a right click cancels.
class MainRegionWnd : public LayoutWindow {
public:
    MainRegionWnd();

    // Runs region selection over the whole screen, owned by `owner`, until it closes. False,
    // logged, when the window could not be allocated.
    static bool Run(vl::HWND owner);

    const char* GetWindowClassName() const override { return "velmora_main_region_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    // No control of its own reports anything.
    void Notify(const skin::Notification&) override {}

private:
    bool OnCreate() override;
    void OnShowing();
    bool Capture();
    void Clip(int x, int y);
    void ClipConfirm();
    void Cancel();

    skin::Control* region_ = nullptr;
    skin::Control* image_ = nullptr;
    skin::Control* clip_ = nullptr;
    skin::Control* mask_ = nullptr;
    skin::Control* maskBorder_ = nullptr;
    skin::Label* tip_ = nullptr;

    bool dragging_ = false;
    int startX_ = 0;
    int startY_ = 0;
    skin::Rect selection_;
    std::uint32_t dpi_ = 96;
    vl::platform::ScreenCapture screen_;
};
