#pragma once

#include <cstdint>

#include "ui/layout_window.h"

// The floating ball. Drag it anywhere with the left button; a quick left click translates the
// region, a quick right click opens region selection (quick: released within 300 ms, never moved
// 6 pixels away from the press).
class ResultFloatWnd : public LayoutWindow {
public:
    ResultFloatWnd();

    const char* GetWindowClassName() const override { return "velmora_result_float_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    // No control of its own reports anything.
    void Notify(const skin::Notification&) override {}

private:
    struct Point {
        int x = 0;
        int y = 0;
    };
    struct Press {
        bool pressed = false;
        std::int64_t time = 0;
        Point at;
        int travel = 0;
    };

    bool OnCreate() override;
    // The pointer in screen coordinates, from a mouse message's lParam.
    Point CurPos(vl::LPARAM lParam) const;
    void Track(Point point);
    void DragWindow(Point point);
    void OnLButtonDown(vl::LPARAM lParam);
    void OnLButtonUp(vl::LPARAM lParam);
    void OnRButtonDown(vl::LPARAM lParam);
    void OnRButtonUp(vl::LPARAM lParam);
    // Whether `press` ends as a quick click; clears it.
    static bool EndPress(Press& press);

    int width_ = 0;
    int height_ = 0;
    Point dragOffset_;
    Press left_;
    Press right_;
};
