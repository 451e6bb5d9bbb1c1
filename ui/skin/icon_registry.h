#pragma once

#include <QIcon>

#include "utils/vl_wnd.h"

namespace skin {

// Icon handles as WM_SETICON carries them in lParam: a handle names an icon kept for the life of
// the process. Create and read handles on the UI thread.
vl::HICON RegisterIcon(const QIcon& icon);
// The icon of a handle; a null icon for null or unknown handles.
QIcon IconFromHandle(vl::HICON handle);
// The application icon ("app.png" in the resource folder), loaded once; null when missing.
vl::HICON LoadAppIcon();

}  // namespace skin
