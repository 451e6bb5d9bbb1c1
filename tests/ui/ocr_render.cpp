#include "tests/ui/ocr_render.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace ocr_render {

Page Render(const std::vector<std::string>& texts, const Style& style, int width, int height) {
    QFont font(style.family);
    font.setPixelSize(style.px);
    const QFontMetrics metrics(font);
    const int margin = style.px;
    const int step = style.px * 3 / 2;  // line pitch, and column pitch for vertical text
    std::vector<QString> lines;
    int longest = 0;
    for (const std::string& t : texts) {
        lines.push_back(QString::fromStdString(t));
        longest = std::max(longest, style.vertical ? int(lines.back().size()) * step
                                                   : metrics.horizontalAdvance(lines.back()));
    }
    const int across = margin * 2 + int(lines.size()) * step;
    if (width == 0)
        width = style.vertical ? across : longest + margin * 2;
    if (height == 0)
        height = style.vertical ? longest + margin * 2 : across;

    QImage image(width, height, QImage::Format_RGB888);
    image.fill(style.ground);
    Page page;
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(style.ink);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const QString& line = lines[i];
            QRect box;
            if (style.vertical) {
                const int x = width - margin - int(i + 1) * step + (step - style.px) / 2;
                int y = margin;
                for (const QChar c : line) {
                    painter.drawText(QRect(x, y, style.px, step), Qt::AlignCenter, QString(c));
                    y += step - style.px / 3;
                }
                box = QRect(x, margin, style.px, y - margin);
            } else {
                const int baseline = margin + int(i) * step + metrics.ascent();
                painter.drawText(margin, baseline, line);
                box = QRect(margin, baseline - metrics.ascent(), metrics.horizontalAdvance(line),
                            metrics.height());
            }
            page.lines.push_back({texts[i], box});
        }
    }
    page.crop.width = width;
    page.crop.height = height;
    page.crop.rgb.resize(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)  // QImage pads its rows; the crop does not
        std::memcpy(page.crop.rgb.data() + std::size_t(y) * width * 3, image.constScanLine(y),
                    std::size_t(width) * 3);
    return page;
}

bool Overlaps(const QRect& a, const std::array<std::int32_t, 4>& rect) {
    const QRect b(QPoint(rect[0], rect[1]), QPoint(rect[2] - 1, rect[3] - 1));
    const QRect both = a.intersected(b);
    const int smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return smaller > 0 && both.width() * both.height() * 2 >= smaller;
}

}  // namespace ocr_render
