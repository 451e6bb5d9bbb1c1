#pragma once

class QWidget;

namespace skin {

// Windows the window manager does not stack (override-redirect) that stay above every other
// top-level window, overlays included: raised when kept, and again whenever another window of the
// screen is mapped or restacked. `keep` false forgets the window. UI thread.
void KeepAbove(QWidget* window, bool keep);

}  // namespace skin
