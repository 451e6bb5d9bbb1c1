#include "platform/screen_capture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/dpi_source.h"
#include "platform/x11.h"
#include "utils/vl_log.h"

namespace vl::platform {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

constexpr auto kFrameWait = std::chrono::milliseconds(250);

// Whether the screen stores a pixel as 32 bits B, G, R, unused (least significant byte first):
// the layout both forms are copied from.
bool IsBgrx32(const xcb_setup_t* setup, const xcb_screen_t* screen, std::string* what) {
    int bitsPerPixel = 0;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
        if (f.data->depth == screen->root_depth)
            bitsPerPixel = f.data->bits_per_pixel;
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                visual = v.data;
        }
    }
    const bool ok = screen->root_depth == 24 && bitsPerPixel == 32 && visual != nullptr &&
                    visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
                    visual->blue_mask == 0xFF &&
                    setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (!ok) {
        *what = "unsupported screen format: depth " + std::to_string(screen->root_depth) + ", " +
                std::to_string(bitsPerPixel) + " bits per pixel";
    }
    return ok;
}

// The children of the root that hold our hidden windows and are still mapped: frames a window
// manager has not taken down yet.
std::vector<xcb_window_t> MappedFramesOfHiddenWindows(const x11::Display& x) {
    std::vector<xcb_window_t> windows;
    for (QWindow* w : QGuiApplication::allWindows()) {
        if (w->isTopLevel() && !w->isVisible() && w->handle() != nullptr)
            windows.push_back(static_cast<xcb_window_t>(w->winId()));
    }
    std::vector<xcb_window_t> frames;
    for (int depth = 0; depth < 8 && !windows.empty(); ++depth) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (xcb_window_t w : windows)
            cookies.push_back(xcb_query_tree(x.connection, w));
        std::vector<xcb_window_t> parents;
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(x.connection, cookies[i], nullptr), &std::free);
            if (!tree || tree->parent == XCB_WINDOW_NONE) {
                continue;
            }
            if (tree->parent != x.root) {
                parents.push_back(tree->parent);
            } else if (depth > 0) {
                frames.push_back(windows[i]);  // unmapped by our own hide when depth is 0
            }
        }
        windows = std::move(parents);
    }
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (xcb_window_t f : frames)
        cookies.push_back(xcb_get_window_attributes(x.connection, f));
    std::vector<xcb_window_t> mapped;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(x.connection, cookies[i], nullptr), &std::free);
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE)
            mapped.push_back(frames[i]);
    }
    return mapped;
}

void WaitForHiddenFrames(const x11::Display& x) {
    const auto deadline = std::chrono::steady_clock::now() + kFrameWait;
    while (!MappedFramesOfHiddenWindows(x).empty()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            VL_WARN("the window manager still shows a hidden window, capturing anyway");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The root window's pixels and its current size. The image is asked for together with the size,
// at the size of the last capture: one round trip unless the screen was resized meanwhile.
xcb_get_image_reply_t* ReadRoot(const x11::Display& x, std::uint16_t* width, std::uint16_t* height,
                                xcb_generic_error_t** error) {
    static std::uint16_t lastWidth = x.screen->width_in_pixels;
    static std::uint16_t lastHeight = x.screen->height_in_pixels;
    auto request = [&x](std::uint16_t w, std::uint16_t h) {
        return xcb_get_image(x.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root, 0, 0, w, h, ~0u);
    };
    const xcb_get_geometry_cookie_t geometry = xcb_get_geometry(x.connection, x.root);
    xcb_get_image_cookie_t image = request(lastWidth, lastHeight);
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x.connection, geometry, nullptr),
                                      &std::free);
    if (!g) {
        xcb_discard_reply(x.connection, image.sequence);
        return nullptr;
    }
    if (g->width != lastWidth || g->height != lastHeight) {
        xcb_discard_reply(x.connection, image.sequence);
        lastWidth = g->width;
        lastHeight = g->height;
        image = request(lastWidth, lastHeight);
    }
    *width = lastWidth;
    *height = lastHeight;
    return xcb_get_image_reply(x.connection, image, error);
}

void FreeReply(void* reply) {
    std::free(reply);
}

// One pass over the B, G, R, X pixels: R, G, B rows for the logic, and the unused byte set
// opaque so Qt may read the buffer as 0xffRRGGBB. (The plain byte loop beats word tricks here:
// the pass is bound by memory traffic.)
void SplitPixels(std::uint8_t* bgrx, std::size_t pixels, std::uint8_t* rgb) {
    for (std::size_t i = 0; i < pixels; ++i, bgrx += 4, rgb += 3) {
        rgb[0] = bgrx[2];
        rgb[1] = bgrx[1];
        rgb[2] = bgrx[0];
        bgrx[3] = 0xFF;
    }
}

}  // namespace

bool DesktopRect(Rect* rect) {
    x11::Display x;
    if (x11::QtDisplay(&x)) {
        Reply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(x.connection, xcb_get_geometry(x.connection, x.root), nullptr),
            &std::free);
        if (!g) {
            return false;
        }
        const double ratio = DevicePixelRatio();
        *rect = Rect{0, 0, static_cast<int>(std::ceil(g->width / ratio - 1e-9)),
                     static_cast<int>(std::ceil(g->height / ratio - 1e-9))};
        return true;
    }
    const QScreen* screen = qGuiApp != nullptr ? QGuiApplication::primaryScreen() : nullptr;
    if (screen == nullptr) {
        return false;
    }
    const QRect g = screen->virtualGeometry();
    *rect = Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return true;
}

bool CaptureScreen(ScreenCapture* out, std::string* error) {
    out->width = out->height = 0;
    out->picture = QImage();
    x11::Display x;
    if (!x11::QtDisplay(&x)) {
        out->rgb.clear();
        *error = "no X display";
        return false;
    }
    if (!IsBgrx32(xcb_get_setup(x.connection), x.screen, error)) {
        out->rgb.clear();
        return false;
    }
    WaitForHiddenFrames(x);
    std::uint16_t width = 0, height = 0;
    xcb_generic_error_t* xerror = nullptr;
    Reply<xcb_get_image_reply_t> image(ReadRoot(x, &width, &height, &xerror), &std::free);
    Reply<xcb_generic_error_t> errorHolder(xerror, &std::free);
    const std::size_t pixels = std::size_t{width} * height;
    if (!image || pixels == 0 ||
        static_cast<std::size_t>(xcb_get_image_data_length(image.get())) != pixels * 4) {
        out->rgb.clear();
        *error = xerror != nullptr ? "GetImage of the root window failed, X error " +
                                         std::to_string(xerror->error_code)
                                   : "GetImage of the root window failed";
        return false;
    }
    out->width = width;
    out->height = height;
    out->rgb.resize(pixels * 3);
    std::uint8_t* data = xcb_get_image_data(image.get());
    SplitPixels(data, pixels, reinterpret_cast<std::uint8_t*>(out->rgb.data()));
    // The picture keeps the reply's buffer: no second copy of the screen.
    out->picture = QImage(data, out->width, out->height, out->width * 4, QImage::Format_RGB32,
                          &FreeReply, image.release());
    out->picture.setDevicePixelRatio(DevicePixelRatio());
    return true;
}

}  // namespace vl::platform
