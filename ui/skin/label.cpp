#include "ui/skin/label.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "ui/skin/attribute_list.h"

namespace skin {

namespace {

bool Flag(const std::u16string& value) {
    return value == u"true";
}

}  // namespace

Label::Label(QWidget* parent) : QLabel(parent), Control(this) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void Label::SetTextPadding(const Rect& padding) {
    textPadding_ = padding;
    setContentsMargins(padding.left, padding.top, padding.right, padding.bottom);
    update();
}

void Label::SetMultiLine(bool multiLine) {
    setWordWrap(multiLine);
}

void Label::SetShowHtml(bool showHtml) {
    showHtml_ = showHtml;
    setTextFormat(showHtml ? Qt::RichText : Qt::PlainText);
    update();
}

void Label::SetEnabledEffect(bool enabled) {
    effect_ = enabled;
    update();
}

bool Label::SetAttribute(const std::string& name, const std::u16string& value) {
    const QString v = QString::fromStdU16String(value);
    if (name == "align") {
        Qt::Alignment h;
        if (v == "left") {
            h = Qt::AlignLeft;
        } else if (v == "center") {
            h = Qt::AlignHCenter;
        } else if (v == "right") {
            h = Qt::AlignRight;
        } else {
            return false;
        }
        setAlignment((alignment() & ~Qt::AlignHorizontal_Mask) | h);
        return true;
    }
    if (name == "valign") {
        Qt::Alignment vert;
        if (v == "top") {
            vert = Qt::AlignTop;
        } else if (v == "vcenter" || v == "center") {
            vert = Qt::AlignVCenter;
        } else if (v == "bottom") {
            vert = Qt::AlignBottom;
        } else {
            return false;
        }
        setAlignment((alignment() & ~Qt::AlignVertical_Mask) | vert);
        return true;
    }
    if (name == "textpadding") {
        int r[4];
        if (!ParseFourInts(v, 0, r)) {
            return false;
        }
        SetTextPadding(Rect{r[0], r[1], r[2], r[3]});
        return true;
    }
    if (name == "multiline") {
        SetMultiLine(Flag(value));
        return true;
    }
    if (name == "showhtml") {
        SetShowHtml(Flag(value));
        return true;
    }
    if (name == "enabledeffect") {
        SetEnabledEffect(Flag(value));
        return true;
    }
    return Control::SetAttribute(name, value);
}

QColor Label::CurrentTextColor() const {
    if (GetTextColor() != 0) {
        return QColor::fromRgba(GetTextColor());
    }
    return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());
}

void Label::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    PaintBackground(painter, rect());
    if (showHtml_ && !effect_) {
        painter.end();
        QLabel::paintEvent(event);
        return;
    }
    PaintText(painter, contentsRect());
}

void Label::SetTextOutline(bool outline) {
    outline_ = outline;
    update();
}

void Label::DrawText(QPainter& painter, const QRect& rect, int flags, const QString& text) const {
    if (outline_) {
        const QPen pen = painter.pen();
        painter.setPen(QColor(0, 0, 0, 230));
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx != 0 || dy != 0) {
                    painter.drawText(rect.translated(dx, dy), flags, text);
                }
            }
        }
        painter.setPen(pen);
    }
    painter.drawText(rect, flags, text);
}

void Label::PaintText(QPainter& painter, const QRect& textRect) {
    painter.setPen(CurrentTextColor());
    painter.setFont(font());
    const int flags =
        static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine);
    DrawText(painter, textRect, flags, text());
}

}  // namespace skin
