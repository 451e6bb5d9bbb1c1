#pragma once

#include <QLabel>

#include "ui/skin/control.h"

namespace skin {

// Text on a background: single line, left and vertically centred unless told otherwise.
// Attributes: align (left, center, right), valign (top, vcenter, bottom), textpadding (l,t,r,b),
// multiline (wraps words), showhtml (rich text), enabledeffect.
class Label : public QLabel, public Control {
    Q_OBJECT

public:
    explicit Label(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Label"; }

    // Inset of the text inside the control.
    void SetTextPadding(const Rect& padding);
    Rect GetTextPadding() const { return textPadding_; }
    void SetMultiLine(bool multiLine);
    void SetShowHtml(bool showHtml);
    bool IsShowHtml() const { return showHtml_; }
    // Effect drawing: the text is painted by PaintText's effect pass.
    void SetEnabledEffect(bool enabled);
    bool IsEnabledEffect() const { return effect_; }
    // A dark rim around every glyph, so light text reads on any ground.
    void SetTextOutline(bool outline);
    bool HasTextOutline() const { return outline_; }

    bool SetAttribute(const std::string& name, const std::u16string& value) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Paints the text inside `textRect`, the control less its text padding.
    virtual void PaintText(QPainter& painter, const QRect& textRect);
    // The colour text is painted in: the label's own, else the style's for its state.
    QColor CurrentTextColor() const;
    // Draws `text` in `rect` with the painter's pen, rimmed when the label has a text outline.
    void DrawText(QPainter& painter, const QRect& rect, int flags, const QString& text) const;

private:
    Rect textPadding_;
    bool showHtml_ = false;
    bool effect_ = false;
    bool outline_ = false;
};

}  // namespace skin
