#pragma once

#include <QImage>
#include <QRect>
#include <string>

#include "ui/skin/rect.h"

class QPainter;

namespace skin {

// A background description as layouts and windows write them: either a bare image name
// ("pay/badge.png") or attributes such as "file='img_mask' scale9='10,20,30,40' hole='true'".
// corner (or its other name scale9) gives the nine-slice insets of the image: the corners are
// drawn unscaled, the edges and the centre stretched; hole leaves the centre out.
struct ImageDescriptor {
    std::string file;
    Rect corner;  // insets: left, top, right, bottom
    bool hole = false;

    // False, with `error`, for text that is not a description.
    static bool Parse(const std::u16string& text, ImageDescriptor* out, std::string* error);
};

// Draws `image` into `dest` as the descriptor says.
void DrawImage(QPainter& painter, const QRect& dest, const QImage& image,
               const ImageDescriptor& descriptor);

}  // namespace skin
