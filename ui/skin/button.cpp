#include "ui/skin/button.h"

#include <QPainter>

namespace skin {

Button::Button(QWidget* parent) : QPushButton(parent), Control(this) {
    connect(this, &QAbstractButton::clicked, this, [this] { SendNotify("click"); });
}

bool Button::SetAttribute(const std::string& name, const std::u16string& value) {
    return faces_.SetAttribute(*this, name, value) || Control::SetAttribute(name, value);
}

void Button::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        PaintBackground(painter, rect());
        if (!faces_.Empty()) {
            faces_.Paint(painter, *this, *this);
            return;
        }
    }
    QPushButton::paintEvent(event);
}

}  // namespace skin
