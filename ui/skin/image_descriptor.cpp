#include "ui/skin/image_descriptor.h"

#include <QPainter>
#include <QString>
#include <algorithm>
#include <map>

#include "ui/skin/attribute_list.h"

namespace skin {

bool ImageDescriptor::Parse(const std::u16string& text, ImageDescriptor* out, std::string* error) {
    const QString s = QString::fromStdU16String(text).trimmed();
    ImageDescriptor d;
    if (!s.contains('=')) {
        d.file = s.toStdString();
    } else {
        std::map<QString, QString> attributes;
        if (!ParseAttributeList(s, &attributes, error)) {
            return false;
        }
        for (const auto& [key, value] : attributes) {
            if (key == "file") {
                d.file = value.toStdString();
            } else if (key == "corner" || key == "scale9") {
                int v[4];
                if (!ParseFourInts(value, 0, v)) {
                    *error = key.toStdString() + " needs four insets";
                    return false;
                }
                d.corner = Rect{v[0], v[1], v[2], v[3]};
            } else if (key == "hole") {
                d.hole = value == "true";
            }
            // Other attributes change nothing here.
        }
    }
    if (d.file.empty()) {
        *error = "no file";
        return false;
    }
    *out = d;
    return true;
}

void DrawImage(QPainter& painter, const QRect& dest, const QImage& image,
               const ImageDescriptor& descriptor) {
    if (image.isNull() || dest.isEmpty()) {
        return;
    }
    const Rect& c = descriptor.corner;
    const int iw = image.width();
    const int ih = image.height();
    if (c == Rect{} && !descriptor.hole) {
        painter.drawImage(dest, image);
        return;
    }
    // Insets larger than the image or the target are cut down so that the slices never overlap.
    const int sl = std::min(c.left, iw), sr = std::min(c.right, iw - sl);
    const int st = std::min(c.top, ih), sb = std::min(c.bottom, ih - st);
    const int dl = std::min(sl, dest.width()), dr = std::min(sr, dest.width() - dl);
    const int dt = std::min(st, dest.height()), db = std::min(sb, dest.height() - dt);

    const int sx[4] = {0, sl, iw - sr, iw};
    const int sy[4] = {0, st, ih - sb, ih};
    const int dx[4] = {dest.left(), dest.left() + dl, dest.left() + dest.width() - dr,
                       dest.left() + dest.width()};
    const int dy[4] = {dest.top(), dest.top() + dt, dest.top() + dest.height() - db,
                       dest.top() + dest.height()};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (descriptor.hole && row == 1 && col == 1) {
                continue;
            }
            const QRect target(QPoint(dx[col], dy[row]), QPoint(dx[col + 1] - 1, dy[row + 1] - 1));
            const QRect source(QPoint(sx[col], sy[row]), QPoint(sx[col + 1] - 1, sy[row + 1] - 1));
            if (target.isEmpty() || source.isEmpty()) {
                continue;
            }
            painter.drawImage(target, image, source);
        }
    }
}

}  // namespace skin
