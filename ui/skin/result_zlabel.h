#pragma once

#include "ui/skin/label.h"

// A label for vertical text: with effect drawing on, each UTF-16 unit of its text is painted in
// its own cell, top to bottom. A cell is as wide as the text area and two pixels taller.
class ResultZlabel : public skin::Label {
    Q_OBJECT

public:
    explicit ResultZlabel(QWidget* parent = nullptr);

protected:
    void PaintText(QPainter& painter, const QRect& textRect) override;
};
