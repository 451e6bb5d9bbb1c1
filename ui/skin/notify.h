#pragma once

#include <string>

#include "utils/vl_wnd.h"

namespace skin {

class Control;

// What a control reports to the windows listening to its paint manager.
struct Notification {
    // "click", "selectchanged", "itemselect", "setfocus" or "link". "setfocus" comes only when
    // the user moves the focus to the sender (mouse press, Tab, Backtab), never when a window is
    // activated or shown or the focus is set by code.
    std::string type;
    Control* sender = nullptr;
    std::string senderName;
    // "selectchanged": 1 when selected; "itemselect": new index (lParam the previous one);
    // "link": the link's index.
    vl::WPARAM wParam = 0;
    vl::LPARAM lParam = 0;
};

class INotify {
public:
    virtual void Notify(const Notification& msg) = 0;

protected:
    ~INotify() = default;
};

}  // namespace skin
