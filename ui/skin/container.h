#pragma once

#include <QWidget>

#include "ui/skin/control.h"

namespace skin {

// Holds controls. Floating children keep their fixed position and size; the others follow the
// container's Qt layout or, when it has none, each fill the whole container (stacked in order).
class Container : public QWidget, public Control {
    Q_OBJECT

public:
    explicit Container(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Container"; }

    // Takes `control` (which must not be in another window) as the last child and shows it.
    bool Add(Control* control);
    // Removes and deletes `control`; false when it is not a child of this container.
    bool Remove(Control* control);
    // Removes and deletes every child control.
    void RemoveAll();
    int GetCount() const;
    Control* GetItemAt(int index) const;
    // The first control called `name` inside this container, at any depth.
    Control* FindSubControl(const std::string& name) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void FillStacked();
    void Discard(Control* control);
};

}  // namespace skin
