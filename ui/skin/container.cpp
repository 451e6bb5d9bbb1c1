#include "ui/skin/container.h"

#include <QChildEvent>
#include <QLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace skin {

namespace {

// Calls `fn` for each direct child control in order.
template <class Fn>
void ForEachChild(const QWidget* parent, Fn fn) {
    for (QObject* o : parent->children()) {
        if (!o->isWidgetType())
            continue;
        if (Control* c = AsControl(static_cast<QWidget*>(o))) {
            if (!fn(c))
                return;
        }
    }
}

void AttachTree(QWidget* widget) {
    if (Control* c = AsControl(widget))
        c->OnAttach();
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (Control* c = AsControl(child))
            c->OnAttach();
    }
}

}  // namespace

Container::Container(QWidget* parent) : QWidget(parent), Control(this) {}

bool Container::Add(Control* control) {
    if (control == nullptr) {
        return false;
    }
    QWidget* w = control->GetWidget();
    if (control->IsFloat() || layout() == nullptr) {
        w->setParent(this);
    } else {
        layout()->addWidget(w);
    }
    if (control->IsFloat()) {
        // Re-applies the fixed geometry now that the parent is known.
        control->SetFixedXY(w->x(), w->y());
    } else if (layout() == nullptr) {
        w->setGeometry(rect());
    }
    AttachTree(w);
    if (control->IsVisible()) {
        w->show();
    }
    return true;
}

bool Container::Remove(Control* control) {
    if (control == nullptr || control->GetWidget()->parentWidget() != this) {
        return false;
    }
    Discard(control);
    return true;
}

void Container::RemoveAll() {
    std::vector<Control*> children;
    ForEachChild(this, [&](Control* c) {
        children.push_back(c);
        return true;
    });
    for (Control* c : children) {
        Discard(c);
    }
}

void Container::Discard(Control* control) {
    // Deleted later: the control may be the one whose event is being handled right now.
    QWidget* w = control->GetWidget();
    if (layout() != nullptr) {
        layout()->removeWidget(w);
    }
    w->hide();
    w->setParent(nullptr);
    w->deleteLater();
}

int Container::GetCount() const {
    int n = 0;
    ForEachChild(this, [&](Control*) {
        ++n;
        return true;
    });
    return n;
}

Control* Container::GetItemAt(int index) const {
    Control* found = nullptr;
    int i = 0;
    ForEachChild(this, [&](Control* c) {
        if (i++ == index) {
            found = c;
            return false;
        }
        return true;
    });
    return found;
}

Control* Container::FindSubControl(const std::string& name) const {
    for (QWidget* w : findChildren<QWidget*>(QString::fromStdString(name))) {
        if (Control* c = AsControl(w))
            return c;
    }
    return nullptr;
}

void Container::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    PaintBackground(painter, rect());
}

void Container::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FillStacked();
}

void Container::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    if (event->type() == QEvent::ChildPolished) {
        FillStacked();
    }
}

void Container::FillStacked() {
    if (layout() != nullptr) {
        return;
    }
    ForEachChild(this, [&](Control* c) {
        if (!c->IsFloat())
            c->GetWidget()->setGeometry(rect());
        return true;
    });
}

}  // namespace skin
