#pragma once

#include <array>
#include <string>

#include "ui/skin/image_descriptor.h"

class QAbstractButton;
class QPainter;

namespace skin {

class Control;

// The faces of a button or option by state, from the layout attributes normalimage, hotimage,
// pushedimage, disabledimage and selectedimage (image descriptions as bkimage takes them). A
// control with any face paints itself: its background, the face of its state (the normal face
// where that state has none), then its text centred in its text colour; the style draws nothing
// of it.
class StateImages {
public:
    enum State { kNormal, kHot, kPushed, kDisabled, kSelected, kStateCount };

    // Takes `name` when it is one of the five attributes, else false. A description that cannot
    // be read is logged and leaves that state without a face.
    bool SetAttribute(Control& owner, const std::string& name, const std::u16string& value);
    bool Empty() const;

    // The first that holds: disabled, pushed, selected (checked), hot (under the mouse), normal.
    static State StateOf(const QAbstractButton& button);
    // Paints the face of `button`'s state and its text; `control` is the same object.
    void Paint(QPainter& painter, const QAbstractButton& button, const Control& control) const;

private:
    std::array<ImageDescriptor, kStateCount> faces_;
};

}  // namespace skin
