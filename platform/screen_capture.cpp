#include "platform/screen_capture.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <array>
#include <cerrno>
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

// The size of the root window at the last capture: the image is asked for together with the
// size, at this size, so a capture takes one round trip unless the screen was resized meanwhile.
struct RootSize {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::size_t Bytes() const { return std::size_t{width} * height * 4; }
};

RootSize& LastRootSize(const x11::Display& x) {
    static RootSize last{x.screen->width_in_pixels, x.screen->height_in_pixels};
    return last;
}

// The root window's pixels and its current size.
xcb_get_image_reply_t* ReadRoot(const x11::Display& x, std::uint16_t* width, std::uint16_t* height,
                                xcb_generic_error_t** error) {
    std::uint16_t& lastWidth = LastRootSize(x).width;
    std::uint16_t& lastHeight = LastRootSize(x).height;
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

// Shared-memory segments the X server writes the root window into (MIT-SHM): the pixels never
// travel through the socket. A segment is kept across captures and lent to the picture of a
// capture until the last copy of that picture goes, so the display form needs no copy either.
// The segments are removed by the kernel once the last process detaches (marked right after
// attaching), and released when the application ends. UI thread only.
class ShmSegments {
public:
    static ShmSegments& Get() {
        static ShmSegments* segments = new ShmSegments;  // outlives the pictures lent out
        return *segments;
    }

    // A free segment of at least `bytes` on `x`'s connection, or null when the server has no
    // MIT-SHM, it failed, or every segment is lent out (the caller then uses GetImage).
    struct Segment;
    Segment* Acquire(const x11::Display& x, std::size_t bytes);
    // The picture over `segment`'s pixels, which it holds until its last copy is gone.
    QImage Lend(Segment* segment, int width, int height);
    // Gives up the server side of every segment and the memory of those not lent out. Also when
    // a capture found the connection changed.
    void Release();

    struct Segment {
        xcb_shm_seg_t id = 0;
        std::uint8_t* addr = nullptr;
        std::size_t size = 0;
        bool attached = false;  // known to the server
        bool lent = false;      // a picture shows its pixels
        bool orphaned = false;  // released while lent: the picture's end frees it
    };

private:
    static constexpr std::size_t kMaxSegments = 3;  // region and result windows keep one each
    static void Returned(void* info);
    bool Create(Segment* segment, std::size_t bytes);
    static void Free(Segment* segment);

    xcb_connection_t* connection_ = nullptr;
    bool unavailable_ = false;
    bool hooked_ = false;
    std::array<Segment*, kMaxSegments> segments_{};
};

ShmSegments::Segment* ShmSegments::Acquire(const x11::Display& x, std::size_t bytes) {
    if (connection_ != x.connection) {
        Release();
        connection_ = x.connection;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(x.connection, &xcb_shm_id);
        unavailable_ = ext == nullptr || !ext->present;
        if (unavailable_) {
            VL_INFO("the X server has no MIT-SHM, capturing with GetImage");
        }
    }
    if (unavailable_) {
        return nullptr;
    }
    if (!hooked_) {
        qAddPostRoutine([] { ShmSegments::Get().Release(); });  // while Qt's connection lives
        hooked_ = true;
    }
    for (Segment*& s : segments_) {
        if (s != nullptr && s->lent) {
            continue;
        }
        if (s == nullptr) {
            s = new Segment;
        }
        if (s->size < bytes || !s->attached) {
            if (s->attached) {
                xcb_shm_detach(connection_, s->id);  // too small: the screen grew
            }
            Free(s);
            if (!Create(s, bytes)) {
                unavailable_ = true;  // e.g. a server on another machine: GetImage from now on
                return nullptr;
            }
        }
        return s;
    }
    return nullptr;
}

bool ShmSegments::Create(Segment* segment, std::size_t bytes) {
    const int shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmid < 0) {
        VL_WARN("shmget of {} bytes failed, errno {}, capturing with GetImage", bytes, errno);
        return false;
    }
    void* addr = shmat(shmid, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        VL_WARN("shmat failed, errno {}, capturing with GetImage", errno);
        shmctl(shmid, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t id = xcb_generate_id(connection_);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(connection_, xcb_shm_attach_checked(connection_, id, shmid, 0)),
        &std::free);
    // Gone with the last detach, ours or the server's, also when this process dies.
    shmctl(shmid, IPC_RMID, nullptr);
    if (error) {
        VL_WARN("MIT-SHM attach failed, X error {}, capturing with GetImage", error->error_code);
        shmdt(addr);
        return false;
    }
    *segment = Segment{id, static_cast<std::uint8_t*>(addr), bytes, true, false, false};
    return true;
}

void ShmSegments::Free(Segment* segment) {
    if (segment->addr != nullptr) {
        shmdt(segment->addr);
    }
    *segment = Segment{};
}

QImage ShmSegments::Lend(Segment* segment, int width, int height) {
    segment->lent = true;
    return QImage(segment->addr, width, height, width * 4, QImage::Format_RGB32, &Returned,
                  segment);
}

void ShmSegments::Returned(void* info) {
    auto* segment = static_cast<Segment*>(info);
    if (segment->orphaned) {
        Free(segment);
        delete segment;
        return;
    }
    segment->lent = false;
}

void ShmSegments::Release() {
    for (Segment*& s : segments_) {
        if (s == nullptr) {
            continue;
        }
        if (s->attached && connection_ != nullptr) {
            xcb_shm_detach(connection_, s->id);
        }
        s->attached = false;
        if (s->lent) {
            s->orphaned = true;  // the last copy of its picture frees it
        } else {
            Free(s);
            delete s;
        }
        s = nullptr;
    }
    if (connection_ != nullptr) {
        xcb_flush(connection_);
    }
    connection_ = nullptr;
    hooked_ = false;
}

// One pass over the B, G, R, X pixels: R, G, B rows for the logic, and the unused byte set
// opaque so Qt may read the buffer as 0xffRRGGBB. (Word tricks do not beat this byte loop; byte
// shuffles below do, three times over.)
void SplitPixelsBytes(std::uint8_t* bgrx, std::size_t pixels, std::uint8_t* rgb) {
    for (std::size_t i = 0; i < pixels; ++i, bgrx += 4, rgb += 3) {
        rgb[0] = bgrx[2];
        rgb[1] = bgrx[1];
        rgb[2] = bgrx[0];
        bgrx[3] = 0xFF;
    }
}

#if defined(__x86_64__)
// The same, 16 pixels a step: each 4 pixels shuffled into 12 bytes, then packed into three
// 16-byte stores.
__attribute__((target("ssse3"))) void SplitPixelsSsse3(std::uint8_t* bgrx, std::size_t pixels,
                                                       std::uint8_t* rgb) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i toRgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; i + 16 <= pixels; i += 16, bgrx += 64, rgb += 48) {
        __m128i q[4];
        for (int k = 0; k < 4; ++k) {
            auto* at = reinterpret_cast<__m128i*>(bgrx + 16 * k);
            q[k] = _mm_loadu_si128(at);
            _mm_storeu_si128(at, _mm_or_si128(q[k], opaque));
            q[k] = _mm_shuffle_epi8(q[k], toRgb);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb),
                         _mm_or_si128(q[0], _mm_slli_si128(q[1], 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 16),
                         _mm_or_si128(_mm_srli_si128(q[1], 4), _mm_slli_si128(q[2], 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 32),
                         _mm_or_si128(_mm_srli_si128(q[2], 8), _mm_slli_si128(q[3], 4)));
    }
    SplitPixelsBytes(bgrx, pixels - i, rgb);
}
#endif

void SplitPixels(std::uint8_t* bgrx, std::size_t pixels, std::uint8_t* rgb) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        SplitPixelsSsse3(bgrx, pixels, rgb);
        return;
    }
#endif
    SplitPixelsBytes(bgrx, pixels, rgb);
}

// The capture through MIT-SHM, into a segment of ShmSegments; false when that cannot be used now
// (GetImage then). A failure of the server is not reported: the fallback says it when it fails too.
bool CaptureThroughShm(const x11::Display& x, ScreenCapture* out) {
    ShmSegments& shm = ShmSegments::Get();
    RootSize& last = LastRootSize(x);
    ShmSegments::Segment* segment = shm.Acquire(x, last.Bytes());
    if (segment == nullptr) {
        return false;
    }
    auto request = [&x](ShmSegments::Segment* into, RootSize size) {
        return xcb_shm_get_image(x.connection, x.root, 0, 0, size.width, size.height, ~0u,
                                 XCB_IMAGE_FORMAT_Z_PIXMAP, into->id, 0);
    };
    const xcb_get_geometry_cookie_t geometry = xcb_get_geometry(x.connection, x.root);
    xcb_shm_get_image_cookie_t image = request(segment, last);
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x.connection, geometry, nullptr),
                                      &std::free);
    if (!g || g->width != last.width || g->height != last.height) {
        xcb_discard_reply(x.connection, image.sequence);
        if (!g) {
            return false;
        }
        last = RootSize{g->width, g->height};
        if ((segment = shm.Acquire(x, last.Bytes())) == nullptr) {
            return false;
        }
        image = request(segment, last);
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(x.connection, image, &error),
                                           &std::free);
    Reply<xcb_generic_error_t> errorHolder(error, &std::free);
    const std::size_t pixels = std::size_t{last.width} * last.height;
    if (!reply || pixels == 0 || reply->size != pixels * 4) {
        return false;
    }
    out->width = last.width;
    out->height = last.height;
    out->rgb.resize(pixels * 3);
    SplitPixels(segment->addr, pixels, reinterpret_cast<std::uint8_t*>(out->rgb.data()));
    out->picture = shm.Lend(segment, out->width, out->height);
    out->picture.setDevicePixelRatio(DevicePixelRatio());
    return true;
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
    if (CaptureThroughShm(x, out)) {
        return true;
    }
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
