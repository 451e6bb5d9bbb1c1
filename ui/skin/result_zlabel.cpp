#include "ui/skin/result_zlabel.h"

#include <QPainter>

ResultZlabel::ResultZlabel(QWidget* parent) : skin::Label(parent) {}

void ResultZlabel::PaintText(QPainter& painter, const QRect& textRect) {
    if (!IsEnabledEffect()) {
        Label::PaintText(painter, textRect);
        return;
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(CurrentTextColor());
    painter.setFont(font());
    const int flags = static_cast<int>(alignment()) | Qt::TextSingleLine;
    const QString s = text();
    const int cw = textRect.width();
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QRect cell(textRect.left(), textRect.top() + static_cast<int>(i) * (cw + 2), cw,
                         cw + 2);
        // A surrogate pair is one character: it is painted whole in the first of its two cells,
        // since half of it would paint as a replacement box.
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            DrawText(painter, cell, flags, s.mid(i, 2));
            ++i;
            continue;
        }
        DrawText(painter, cell, flags, QString(s[i]));
    }
}
