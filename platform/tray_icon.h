#pragma once

#include <QIcon>
#include <memory>
#include <string>

#include "utils/vl_wnd.h"

class QMenu;
class QSystemTrayIcon;

// The notification-area icon with its one-item menu ("退出"). Events reach the owning window as
// `message` with the event in lParam's low word: WM_LBUTTONDBLCLK for a double click,
// kExitChosen when the user chose to exit. Without a tray host the icon simply has no place
// until one appears.
class TrayIcon {
public:
    static constexpr vl::UINT kExitChosen = 32772;

    TrayIcon(vl::HWND owner, vl::UINT message, const QIcon& icon, const std::u16string& tooltip);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};
