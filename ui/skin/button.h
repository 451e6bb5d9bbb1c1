#pragma once

#include <QPushButton>

#include "ui/skin/control.h"

namespace skin {

// A push button; a click sends "click".
class Button : public QPushButton, public Control {
    Q_OBJECT

public:
    explicit Button(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Button"; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace skin
