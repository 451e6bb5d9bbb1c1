#include "ui/skin/control.h"

#include <QLayout>
#include <QPainter>
#include <QVariant>
#include <QWidget>

#include "ui/skin/attribute_list.h"
#include "ui/skin/paint_manager.h"
#include "ui/skin/window.h"
#include "ui/skin/window_widget.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace skin {

namespace {

QString Q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

bool ParseBool(const std::u16string& value, bool* out) {
    if (value == u"true") {
        *out = true;
    } else if (value == u"false") {
        *out = false;
    } else {
        return false;
    }
    return true;
}

}  // namespace

Control::Control(QWidget* self) : self_(self) {}

Control::~Control() = default;

PaintManager* Control::GetManager() const {
    auto* top = qobject_cast<WindowWidget*>(self_->window());
    if (top == nullptr || top->Owner() == nullptr) {
        return nullptr;
    }
    return &top->Owner()->Manager();
}

std::string Control::GetName() const {
    return self_->objectName().toStdString();
}

void Control::SetName(const std::string& name) {
    self_->setObjectName(QString::fromStdString(name));
}

std::u16string Control::GetText() const {
    return self_->property("text").toString().toStdU16String();
}

void Control::SetText(const std::u16string& text) {
    self_->setProperty("text", Q(text));
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    // A control not in a container yet would show as a window of its own: its container shows it.
    if (self_->parentWidget() != nullptr) {
        self_->setVisible(visible);
    }
}

void Control::SetMouseEnabled(bool enabled) {
    self_->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

bool Control::IsMouseEnabled() const {
    return !self_->testAttribute(Qt::WA_TransparentForMouseEvents);
}

bool Control::IsEnabled() const {
    return self_->isEnabled();
}

void Control::SetEnabled(bool enabled) {
    self_->setEnabled(enabled);
}

void Control::SetBkImage(const std::u16string& description) {
    if (description == bkImageText_) {
        return;
    }
    bkImageText_.clear();
    bkImage_ = ImageDescriptor{};
    if (!description.empty()) {
        std::string error;
        ImageDescriptor parsed;
        if (ImageDescriptor::Parse(description, &parsed, &error)) {
            bkImageText_ = description;
            bkImage_ = parsed;
        } else {
            VL_WARN("bad background '{}' for {}: {}", vl::ToUtf8(description), GetName(), error);
        }
    }
    self_->update();
}

void Control::SetBkColor(std::uint32_t argb) {
    bkColor_ = argb;
    self_->update();
}

void Control::SetTextColor(std::uint32_t argb) {
    textColor_ = argb;
    if (argb != 0) {
        QPalette palette = self_->palette();
        palette.setColor(self_->foregroundRole(), QColor::fromRgba(argb));
        self_->setPalette(palette);
    }
    // Controls the style paints (buttons, options, edits) take their text colour from the style
    // sheets, which win over the palette; a rule of the control's own wins over them.
    const QColor c = QColor::fromRgba(argb);
    const QString rule = argb == 0 ? QString()
                                   : QString("color: rgba(%1, %2, %3, %4);")
                                         .arg(c.red())
                                         .arg(c.green())
                                         .arg(c.blue())
                                         .arg(c.alpha());
    if (rule != self_->styleSheet()) {
        self_->setStyleSheet(rule);
    }
    self_->update();
}

void Control::SetFont(int id) {
    fontId_ = id;
    OnAttach();
}

void Control::SetFloat(bool floating) {
    if (float_ == floating) {
        return;
    }
    float_ = floating;
    QWidget* parent = self_->parentWidget();
    if (floating && parent != nullptr && parent->layout() != nullptr) {
        parent->layout()->removeWidget(self_);
    }
    if (floating) {
        fixedX_ = self_->x();
        fixedY_ = self_->y();
        ApplyFloatGeometry();
    }
}

void Control::SetFixedXY(int x, int y) {
    fixedX_ = x;
    fixedY_ = y;
    ApplyFloatGeometry();
}

void Control::SetFixedWidth(int width) {
    fixedWidth_ = width;
    if (float_) {
        ApplyFloatGeometry();
    } else if (width >= 0) {
        self_->setFixedWidth(width);
    }
}

void Control::SetFixedHeight(int height) {
    fixedHeight_ = height;
    if (float_) {
        ApplyFloatGeometry();
    } else if (height >= 0) {
        self_->setFixedHeight(height);
    }
}

void Control::ApplyFloatGeometry() {
    if (!float_) {
        return;
    }
    const int w = fixedWidth_ >= 0 ? fixedWidth_ : self_->width();
    const int h = fixedHeight_ >= 0 ? fixedHeight_ : self_->height();
    self_->setGeometry(fixedX_, fixedY_, w, h);
}

void Control::SetPos(const Rect& rect) {
    QPoint topLeft(rect.left, rect.top);
    if (QWidget* parent = self_->parentWidget(); parent != nullptr && !self_->isWindow()) {
        topLeft = parent->mapFrom(self_->window(), topLeft);
    }
    fixedX_ = topLeft.x();
    fixedY_ = topLeft.y();
    fixedWidth_ = std::max(rect.Width(), 0);
    fixedHeight_ = std::max(rect.Height(), 0);
    self_->setGeometry(fixedX_, fixedY_, fixedWidth_, fixedHeight_);
}

Rect Control::GetPos() const {
    const QPoint topLeft =
        self_->isWindow() ? QPoint(0, 0) : self_->mapTo(self_->window(), QPoint(0, 0));
    return Rect{topLeft.x(), topLeft.y(), topLeft.x() + self_->width(),
                topLeft.y() + self_->height()};
}

int Control::GetWidth() const {
    return self_->width();
}

int Control::GetHeight() const {
    return self_->height();
}

bool Control::SetAttribute(const std::string& name, const std::u16string& value) {
    const QString v = Q(value);
    if (name == "bkimage") {
        SetBkImage(value);
        return true;
    }
    if (name == "bkcolor" || name == "textcolor") {
        std::uint32_t argb = 0;
        if (!ParseArgb(v, &argb)) {
            return false;
        }
        name == "bkcolor" ? SetBkColor(argb) : SetTextColor(argb);
        return true;
    }
    if (name == "fontid") {
        bool ok = false;
        const int id = v.toInt(&ok);
        if (ok)
            SetFont(id);
        return ok;
    }
    if (name == "mouse") {
        bool flag = false;
        if (!ParseBool(value, &flag)) {
            return false;
        }
        SetMouseEnabled(flag);
        return true;
    }
    if (name == "float" || name == "visible" || name == "enabled") {
        bool flag = false;
        if (!ParseBool(value, &flag)) {
            return false;
        }
        if (name == "float") {
            SetFloat(flag);
        } else if (name == "visible") {
            SetVisible(flag);
        } else {
            SetEnabled(flag);
        }
        return true;
    }
    if (name == "pos") {
        int r[4];
        if (!ParseFourInts(v, -32768, r)) {
            return false;
        }
        fixedX_ = r[0];
        fixedY_ = r[1];
        fixedWidth_ = std::max(r[2] - r[0], 0);
        fixedHeight_ = std::max(r[3] - r[1], 0);
        ApplyFloatGeometry();
        return true;
    }
    if (name == "width" || name == "height") {
        bool ok = false;
        const int size = v.toInt(&ok);
        if (!ok || size < 0) {
            return false;
        }
        name == "width" ? SetFixedWidth(size) : SetFixedHeight(size);
        return true;
    }
    if (name == "userdata") {
        SetUserData(value);
        return true;
    }
    return false;
}

void Control::OnAttach() {
    if (fontId_ < 0) {
        return;
    }
    if (PaintManager* manager = GetManager()) {
        if (const QFont* font = manager->GetFont(fontId_)) {
            self_->setFont(*font);
        } else {
            VL_WARN("no font {} for {}", fontId_, GetName());
        }
    }
}

void Control::PaintBackground(QPainter& painter, const QRect& rect) const {
    if ((bkColor_ >> 24) != 0) {
        painter.fillRect(rect, QColor::fromRgba(bkColor_));
    }
    if (bkImage_.file.empty()) {
        return;
    }
    if (PaintManager* manager = GetManager()) {
        DrawImage(painter, rect, manager->GetImage(bkImage_.file), bkImage_);
    }
}

void Control::SendNotify(const char* type, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (PaintManager* manager = GetManager()) {
        manager->SendNotify(this, type, wParam, lParam);
    }
}

Control* AsControl(QWidget* widget) {
    return dynamic_cast<Control*>(widget);
}

}  // namespace skin
