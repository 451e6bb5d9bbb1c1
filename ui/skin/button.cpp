#include "ui/skin/button.h"

#include <QPainter>

namespace skin {

Button::Button(QWidget* parent) : QPushButton(parent), Control(this) {
    connect(this, &QAbstractButton::clicked, this, [this] { SendNotify("click"); });
}

void Button::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        PaintBackground(painter, rect());
    }
    QPushButton::paintEvent(event);
}

}  // namespace skin
