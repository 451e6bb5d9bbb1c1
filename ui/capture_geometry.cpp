#include "ui/capture_geometry.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "utils/vl_log.h"

namespace capture {

namespace {

constexpr int kJpegQuality = 90;

// Boxes come from an outside service: any int32 may arrive, so sums are taken wide and clamped.
int Clamp(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

struct Box96 {
    std::int64_t l, t, r, b;
};

Box96 To96(const std::array<std::int32_t, 4>& line, std::uint32_t dpi) {
    return {Scale(line[0], 96, dpi), Scale(line[1], 96, dpi), Scale(line[2], 96, dpi),
            Scale(line[3], 96, dpi)};
}

}  // namespace

int Scale(int value, std::uint32_t to, std::uint32_t from) {
    if (from == 0) {
        from = 96;
    }
    return Clamp(static_cast<std::int64_t>(value) * to / static_cast<std::int64_t>(from));
}

skin::Rect ScaleRect(const skin::Rect& rect, std::uint32_t to, std::uint32_t from) {
    return skin::Rect{Scale(rect.left, to, from), Scale(rect.top, to, from),
                      Scale(rect.right, to, from), Scale(rect.bottom, to, from)};
}

bool HasArea(const skin::Rect& rect) {
    // Taken wide: a stored region may hold any int.
    return static_cast<std::int64_t>(rect.right) - rect.left >= 1 &&
           static_cast<std::int64_t>(rect.bottom) - rect.top >= 1;
}

bool Contains(const skin::Rect& image, const skin::Rect& clip) {
    return HasArea(clip) && clip.left >= image.left && clip.top >= image.top &&
           clip.right <= image.right && clip.bottom <= image.bottom;
}

void ClipImageWriteJpgCb(void* context, void* data, int size) {
    auto* sink = static_cast<JpegSink*>(context);
    if (sink == nullptr) {
        VL_WARN("param is invalid");
        return;
    }
    if (data == nullptr || size < 1) {
        VL_WARN("param is invalid");
        sink->failed = true;
        return;
    }
    // Called from C code: nothing may be thrown through it.
    try {
        sink->bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    } catch (const std::exception& e) {
        VL_ERROR("jpeg output lost, {}", e.what());
        sink->failed = true;
    }
}

bool ClipImage(const std::string& rgb, const skin::Rect& image, const skin::Rect& clip,
               std::string* jpeg, std::string* pixels) {
    const std::size_t stride = static_cast<std::size_t>(std::max(image.Width(), 0)) * 3;
    if (rgb.empty() || image.Width() < 1 || image.Height() < 1 ||
        rgb.size() < stride * static_cast<std::size_t>(image.Height()) || !Contains(image, clip)) {
        VL_WARN("param is invalid");
        return false;
    }
    const int cw = clip.Width();
    const int ch = clip.Height();
    const std::size_t rowBytes = static_cast<std::size_t>(cw) * 3;
    std::string block;
    block.resize(rowBytes * static_cast<std::size_t>(ch));
    for (int r = 0; r < ch; ++r) {
        const std::size_t from = static_cast<std::size_t>(clip.top - image.top + r) * stride +
                                 static_cast<std::size_t>(clip.left - image.left) * 3;
        std::copy_n(rgb.data() + from, rowBytes, block.data() + r * rowBytes);
    }
    JpegSink sink;
    sink.bytes.reserve(block.size() / 4);
    if (stbi_write_jpg_to_func(ClipImageWriteJpgCb, &sink, cw, ch, 3, block.data(), kJpegQuality) ==
            0 ||
        sink.failed) {
        VL_ERROR("stbi_write_jpg_to_func(..., ..., ) failed");
        return false;
    }
    *jpeg = std::move(sink.bytes);
    if (pixels != nullptr) {
        *pixels = std::move(block);
    }
    return true;
}

bool IsOneColour(const std::string& rgb, const skin::Rect& image, const skin::Rect& clip) {
    const std::size_t stride = static_cast<std::size_t>(std::max(image.Width(), 0)) * 3;
    if (rgb.empty() || image.Width() < 1 || image.Height() < 1 ||
        rgb.size() < stride * static_cast<std::size_t>(image.Height()) || !Contains(image, clip) ||
        clip.Width() < 1 || clip.Height() < 1) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(clip.Width()) * 3;
    const char* first = rgb.data() + static_cast<std::size_t>(clip.top - image.top) * stride +
                        static_cast<std::size_t>(clip.left - image.left) * 3;
    for (int r = 0; r < clip.Height(); ++r) {
        const char* row = first + static_cast<std::size_t>(r) * stride;
        for (std::size_t i = 0; i < rowBytes; i += 3) {
            if (row[i] != first[0] || row[i + 1] != first[1] || row[i + 2] != first[2]) {
                return false;
            }
        }
    }
    return true;
}

LabelBox HorizontalLabel(const std::array<std::int32_t, 4>& line, std::uint32_t dpi,
                         const skin::Rect& region96, std::size_t units) {
    const Box96 s = To96(line, dpi);
    const std::int64_t h = std::max<std::int64_t>(s.b - s.t, 0);
    const std::int64_t n = static_cast<std::int64_t>(std::min<std::size_t>(units, 1u << 20));
    return LabelBox{Clamp(region96.left - 1 + s.l), Clamp(region96.top - 1 + s.t),
                    Clamp(std::max((h + 1) * n + 2, s.r - s.l)), Clamp(h + 2), Clamp(h)};
}

LabelBox VerticalLabel(const std::array<std::int32_t, 4>& line, std::uint32_t dpi,
                       const skin::Rect& region96, std::size_t units) {
    const Box96 s = To96(line, dpi);
    const std::int64_t w = std::max<std::int64_t>(s.r - s.l, 0);
    const std::int64_t n = static_cast<std::int64_t>(std::min<std::size_t>(units, 1u << 20));
    return LabelBox{Clamp(region96.left + s.l), Clamp(region96.top + s.t), Clamp(w),
                    Clamp(std::max((w + 2) * n, s.b - s.t)), Clamp(w)};
}

skin::Rect VeilInsets(const skin::Rect& selection, int width, int height) {
    return skin::Rect{selection.left, selection.top, width - selection.right,
                      height - selection.bottom};
}

int Travel(int x0, int y0, int x1, int y1) {
    const double dx = static_cast<double>(x1) - x0;
    const double dy = static_cast<double>(y1) - y0;
    return static_cast<int>(std::sqrt(dx * dx + dy * dy));
}

bool IsQuickClick(std::int64_t heldMs, int maxTravel) {
    return heldMs < kQuickClickMs && maxTravel < kQuickClickTravel;
}

}  // namespace capture
