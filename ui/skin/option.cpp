#include "ui/skin/option.h"

#include <QPainter>
#include <QStyle>

#include "ui/skin/paint_manager.h"

namespace skin {

Option::Option(QWidget* parent) : QCheckBox(parent), Control(this) {}

void Option::Selected(bool selected, bool notify) {
    if (isChecked() == selected) {
        return;
    }
    setChecked(selected);
    PaintManager* manager = GetManager();
    if (group_.empty()) {
        if (notify)
            SendNotify("selectchanged", selected ? 1 : 0);
        return;
    }
    if (!selected) {
        return;
    }
    if (manager != nullptr) {
        for (Option* other : manager->GetOptionGroup(group_)) {
            if (other != this) {
                other->Selected(false, notify);
            }
        }
    }
    if (notify)
        SendNotify("selectchanged", 1);
}

void Option::nextCheckState() {
    SendNotify("click");
    Selected(group_.empty() ? !isChecked() : true, true);
}

bool Option::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

bool Option::SetAttribute(const std::string& name, const std::u16string& value) {
    if (name == "group") {
        SetGroup(QString::fromStdU16String(value).toStdString());
        return true;
    }
    if (name == "selected") {
        setChecked(value == u"true");
        return true;
    }
    if (name == "indicator") {
        // Read by the style sheet: Option[indicator="false"]::indicator.
        setProperty("indicator", QString::fromStdU16String(value));
        style()->unpolish(this);
        style()->polish(this);
        return true;
    }
    return faces_.SetAttribute(*this, name, value) || Control::SetAttribute(name, value);
}

void Option::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        PaintBackground(painter, rect());
        if (!faces_.Empty()) {
            faces_.Paint(painter, *this, *this);
            return;
        }
    }
    QCheckBox::paintEvent(event);
}

}  // namespace skin
