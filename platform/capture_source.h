#pragma once

#include <memory>
#include <string>

#include "platform/screen_capture.h"

// Where a capture reads the screen from: the X server (X11 sessions) or the desktop's Screenshot
// portal (Wayland sessions, where an X client sees only a black root window).
namespace vl::platform {

class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // The whole screen in both forms; false with a line for the user. UI thread.
    virtual bool Capture(ScreenCapture* out, std::string* error) = 0;
    virtual const char* Name() const = 0;
};

std::unique_ptr<CaptureSource> MakeX11Capture();
std::unique_ptr<CaptureSource> MakePortalCapture();

// The source of this session, chosen on first use: the portal on Wayland, X11 otherwise.
CaptureSource& DesktopCapture();
// Replaces it (tests, or a choice made at start-up); null goes back to the session's choice.
void SetDesktopCapture(std::unique_ptr<CaptureSource> source);

}  // namespace vl::platform
