#pragma once

#include <QLineEdit>

#include "ui/skin/control.h"

namespace skin {

// A one-line text entry. Attributes: maxchar, password (true shows the text masked).
class Edit : public QLineEdit, public Control {
    Q_OBJECT

public:
    explicit Edit(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Edit"; }
    bool SetAttribute(const std::string& name, const std::u16string& value) override;
};

}  // namespace skin
