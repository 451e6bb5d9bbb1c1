#pragma once

#include <QImage>
#include <string>

#include "platform/rect.h"

// The whole X screen, read once, in the two forms the capture windows need.
namespace vl::platform {

struct ScreenCapture {
    // Physical pixels: the root window's extent.
    int width = 0;
    int height = 0;
    // `height` rows of exactly width × 3 bytes (no padding), R, G, B per pixel, top row first.
    // Capturing again into the same object reuses the buffer.
    std::string rgb;
    // The same pixels for display: physical size, its device pixel ratio set to Qt's, so it paints
    // at the logical desktop size at full resolution (never upscaled).
    QImage picture;
};

// The desktop in logical units: the root window, which spans every monitor (so a region may lie
// on any of them), divided by Qt's device pixel ratio and rounded up. Window placement and
// capture use this one rectangle. False when there is no screen. UI thread.
bool DesktopRect(Rect* rect);

// Reads the root window with one request: into shared memory when the X server offers MIT-SHM,
// else with GetImage. Windows of this program hidden just before are
// not in the picture: the hide and the read travel on Qt's connection in order, and the call
// waits (briefly, bounded) until a window manager has also unmapped their frames. Other programs
// repaint what the hidden windows uncovered in their own time. False with `error` when there is
// no X display or the screen's pixel format is not 24-bit true colour; `out` is then emptied.
// UI thread.
bool CaptureScreen(ScreenCapture* out, std::string* error);

}  // namespace vl::platform
