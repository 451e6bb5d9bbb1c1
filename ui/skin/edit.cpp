#include "ui/skin/edit.h"

namespace skin {

Edit::Edit(QWidget* parent) : QLineEdit(parent), Control(this) {}

bool Edit::SetAttribute(const std::string& name, const std::u16string& value) {
    if (name == "maxchar") {
        bool ok = false;
        const int n = QString::fromStdU16String(value).toInt(&ok);
        if (!ok || n < 1) {
            return false;
        }
        setMaxLength(n);
        return true;
    }
    if (name == "password") {
        setEchoMode(value == u"true" ? QLineEdit::Password : QLineEdit::Normal);
        return value == u"true" || value == u"false";
    }
    return Control::SetAttribute(name, value);
}

}  // namespace skin
