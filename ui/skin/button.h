#pragma once

#include <QPushButton>

#include "ui/skin/control.h"
#include "ui/skin/state_images.h"

namespace skin {

// A push button; a click sends "click". Attributes: normalimage, hotimage, pushedimage,
// disabledimage (see StateImages).
class Button : public QPushButton, public Control {
    Q_OBJECT

public:
    explicit Button(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Button"; }
    bool SetAttribute(const std::string& name, const std::u16string& value) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StateImages faces_;
};

}  // namespace skin
