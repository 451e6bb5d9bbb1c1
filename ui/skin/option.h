#pragma once

#include <QCheckBox>

#include "ui/skin/control.h"
#include "ui/skin/state_images.h"

namespace skin {

// A button that stays selected. Options sharing a group name in one window select one at a time:
// a click selects a grouped option, and toggles one without a group. A click sends "click", then
// "selectchanged" (wParam 1 when selected) for a grouped option that becomes selected or an
// ungrouped one that changes. Attributes: group, selected, indicator (false hides the box),
// normalimage, hotimage, pushedimage, disabledimage, selectedimage (see StateImages).
class Option : public QCheckBox, public Control {
    Q_OBJECT

public:
    explicit Option(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Option"; }
    bool IsSelected() const { return isChecked(); }
    // Selects or clears; selecting clears the others of the group.
    void Selected(bool selected, bool notify = true);
    const std::string& GetGroup() const { return group_; }
    void SetGroup(const std::string& group) { group_ = group; }

    bool SetAttribute(const std::string& name, const std::u16string& value) override;

protected:
    void nextCheckState() override;
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::string group_;
    StateImages faces_;
};

}  // namespace skin
