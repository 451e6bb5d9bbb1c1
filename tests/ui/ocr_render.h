#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <string>
#include <vector>

#include "logic/translate_types.h"

// Screen-like text drawn with Qt's painter into a capture crop, for the local OCR engine's tests
// and benchmark. Needs a QGuiApplication.
namespace ocr_render {

struct Style {
    QString family = "Noto Sans CJK JP";
    int px = 30;
    QColor ink = Qt::black;
    QColor ground = Qt::white;
    bool vertical = false;  // columns of stacked characters, right to left
};

struct Drawn {
    std::string text;
    QRect box;  // where the line's glyphs stand in the crop
};

struct Page {
    OcrCrop crop;
    std::vector<Drawn> lines;
};

// Draws `texts` one line (or column) each, from the top left (or top right), into a crop of
// width × height; a size of 0 fits the lines with a margin.
Page Render(const std::vector<std::string>& texts, const Style& style, int width = 0,
            int height = 0);

// Whether two boxes share at least half of the smaller one's area.
bool Overlaps(const QRect& a, const std::array<std::int32_t, 4>& rect);

}  // namespace ocr_render
