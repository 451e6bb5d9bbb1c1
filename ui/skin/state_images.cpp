#include "ui/skin/state_images.h"

#include <QAbstractButton>
#include <QPainter>

#include "ui/skin/control.h"
#include "ui/skin/paint_manager.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace skin {

namespace {

constexpr const char* kAttributeNames[StateImages::kStateCount] = {
    "normalimage", "hotimage", "pushedimage", "disabledimage", "selectedimage"};

}  // namespace

bool StateImages::SetAttribute(Control& owner, const std::string& name,
                               const std::u16string& value) {
    for (int state = 0; state < kStateCount; ++state) {
        if (name != kAttributeNames[state]) {
            continue;
        }
        ImageDescriptor face;
        std::string error;
        if (!value.empty() && !ImageDescriptor::Parse(value, &face, &error)) {
            VL_WARN("bad {} '{}' for {}: {}", name, vl::ToUtf8(value), owner.GetName(), error);
        }
        faces_[state] = face;
        // Hovering and leaving repaint the control.
        owner.GetWidget()->setAttribute(Qt::WA_Hover, !Empty());
        owner.GetWidget()->update();
        return true;
    }
    return false;
}

bool StateImages::Empty() const {
    for (const ImageDescriptor& face : faces_) {
        if (!face.file.empty())
            return false;
    }
    return true;
}

StateImages::State StateImages::StateOf(const QAbstractButton& button) {
    if (!button.isEnabled())
        return kDisabled;
    if (button.isDown())
        return kPushed;
    if (button.isChecked())
        return kSelected;
    if (button.underMouse())
        return kHot;
    return kNormal;
}

void StateImages::Paint(QPainter& painter, const QAbstractButton& button,
                        const Control& control) const {
    const ImageDescriptor* face = &faces_[StateOf(button)];
    if (face->file.empty())
        face = &faces_[kNormal];
    PaintManager* manager = control.GetManager();
    if (!face->file.empty() && manager != nullptr) {
        DrawImage(painter, button.rect(), manager->GetImage(face->file), *face);
    }
    const QColor colour =
        control.GetTextColor() != 0
            ? QColor::fromRgba(control.GetTextColor())
            : button.palette().color(button.isEnabled() ? QPalette::Active : QPalette::Disabled,
                                     button.foregroundRole());
    painter.setPen(colour);
    painter.setFont(button.font());
    painter.drawText(button.rect(), Qt::AlignCenter | Qt::TextSingleLine, button.text());
}

}  // namespace skin
