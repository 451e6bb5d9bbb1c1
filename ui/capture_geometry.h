#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ui/skin/rect.h"

// The arithmetic of a translation run, free of any display: cutting the region out of the screen
// and encoding it, placing the translation labels, and the floating ball's click rule.
namespace capture {

// value × to / from, truncated toward zero: physical pixels to 96-DPI units (to 96, from dpi)
// and back (to dpi, from 96). A dpi of 0 is taken as 96.
int Scale(int value, std::uint32_t to, std::uint32_t from);
skin::Rect ScaleRect(const skin::Rect& rect, std::uint32_t to, std::uint32_t from);

// Whether `rect` is at least one pixel wide and high.
bool HasArea(const skin::Rect& rect);
// Whether `clip` is at least one pixel wide and high and lies inside `image`.
bool Contains(const skin::Rect& image, const skin::Rect& clip);

// The JPEG writer's output: the bytes so far, and whether any piece was lost.
struct JpegSink {
    std::string bytes;
    bool failed = false;
};

// The JPEG writer's callback; `context` is a JpegSink. A call without data or with no bytes, or an
// append that fails, marks the sink failed, so a broken file is never taken for a good one.
void ClipImageWriteJpgCb(void* context, void* data, int size);

// Cuts `clip` out of `rgb` (R, G, B rows of image.Width() × 3 bytes, top row first, covering
// `image`) and encodes it as a baseline JPEG of quality 90 into `jpeg`; the cut pixels themselves
// (rows of clip.Width() × 3 bytes) go to `pixels` when it is given. False, logged, when the
// buffer is empty or too small for `image`, the clip is not inside the image or is narrower or
// lower than one pixel, or the encoding fails.
bool ClipImage(const std::string& rgb, const skin::Rect& image, const skin::Rect& clip,
               std::string* jpeg, std::string* pixels = nullptr);

// True when every pixel of `clip` has one colour (nothing to read there: an empty area, or a
// screen the capture could not see, which reads all black). False when the clip is not inside the
// image or the buffer does not cover it.
bool IsOneColour(const std::string& rgb, const skin::Rect& image, const skin::Rect& clip);

// Where a translation label goes, in 96-DPI units of the screen, and its font size in pixels.
struct LabelBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int fontSize = 0;
    bool operator==(const LabelBox&) const = default;
};

// `line` is the source line's box (left, top, right, bottom) in physical pixels of the submitted
// image, `region96` the region in 96-DPI units, `units` the UTF-16 length of the translation.
// Horizontal: the font is as high as the line; the box stands one unit up and left of the line and
// grows to the right to hold the text.
LabelBox HorizontalLabel(const std::array<std::int32_t, 4>& line, std::uint32_t dpi,
                         const skin::Rect& region96, std::size_t units);
// Vertical: the font is as wide as the column; one cell of width + 2 per character, downwards.
LabelBox VerticalLabel(const std::array<std::int32_t, 4>& line, std::uint32_t dpi,
                       const skin::Rect& region96, std::size_t units);

// The veil's nine-slice insets that leave `selection` open on an image of width × height.
skin::Rect VeilInsets(const skin::Rect& selection, int width, int height);

// The floating ball: a press and release count as a click when the release comes within
// kQuickClickMs of the press and the pointer never went kQuickClickTravel pixels away from it.
inline constexpr std::int64_t kQuickClickMs = 300;
inline constexpr int kQuickClickTravel = 6;
// Whole pixels between two points, truncated.
int Travel(int x0, int y0, int x1, int y1);
bool IsQuickClick(std::int64_t heldMs, int maxTravel);

}  // namespace capture
