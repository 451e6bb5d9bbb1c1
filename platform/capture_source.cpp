#include "platform/capture_source.h"

#include "platform/portal.h"
#include "utils/vl_log.h"
#include "utils/vl_session.h"

namespace vl::platform {

namespace {

class X11Capture final : public CaptureSource {
public:
    bool Capture(ScreenCapture* out, std::string* error) override {
        return CaptureScreen(out, error);
    }
    const char* Name() const override { return "x11"; }
};

class PortalCapture final : public CaptureSource {
public:
    bool Capture(ScreenCapture* out, std::string* error) override {
        return CapturePortal(out, error);
    }
    const char* Name() const override { return "portal"; }
};

std::unique_ptr<CaptureSource>& Chosen() {
    static std::unique_ptr<CaptureSource> source;
    return source;
}

}  // namespace

std::unique_ptr<CaptureSource> MakeX11Capture() {
    return std::make_unique<X11Capture>();
}

std::unique_ptr<CaptureSource> MakePortalCapture() {
    return std::make_unique<PortalCapture>();
}

CaptureSource& DesktopCapture() {
    std::unique_ptr<CaptureSource>& source = Chosen();
    if (!source) {
        source = DetectSession() == SessionKind::Wayland ? MakePortalCapture() : MakeX11Capture();
        VL_INFO("screen capture through {}", source->Name());
    }
    return *source;
}

void SetDesktopCapture(std::unique_ptr<CaptureSource> source) {
    Chosen() = std::move(source);
}

}  // namespace vl::platform
