#pragma once

#include "utils/vl_wnd.h"

namespace skin {

class Window;

// The answer every skinned window gives to WM_NCHITTEST (`screenPoint` is its lParam: screen
// coordinates). Unless the window is maximised, the size-box bands of its layout answer
// HTTOPLEFT, HTTOPRIGHT, HTTOP, HTBOTTOMLEFT, HTBOTTOMRIGHT, HTBOTTOM, HTLEFT or HTRIGHT. Inside
// the caption band the answer is HTCAPTION, except over a Button, Option or Text, which stay
// HTCLIENT like everything else.
vl::LRESULT CommonHitTest(Window& window, vl::LPARAM screenPoint);

}  // namespace skin
