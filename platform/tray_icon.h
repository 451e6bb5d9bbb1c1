#pragma once

#include <QIcon>
#include <memory>
#include <string>

#include "utils/vl_wnd.h"

class QMenu;
class QSystemTrayIcon;

// The notification-area icon with its menu (opened by a right click). Events
// reach the owning window as `message`, posted, with the event in lParam's low word:
//   kSelect          a single click, or the activation of hosts that report only that
//                    (StatusNotifierItem hosts through D-Bus);
//   WM_LBUTTONDBLCLK a double click (hosts that report one send kSelect before it);
//   kTranslateChosen "开始翻译", kRegionChosen "设置翻译区域" (the hotkeys' work, for desktops
//                    where global keys do not reach the program);
//   kExitChosen      the user chose "退出".
// Without a tray host the icon simply has no place until one appears.
class TrayIcon {
public:
    static constexpr vl::UINT kSelect = vl::WM_USER;
    static constexpr vl::UINT kExitChosen = 32772;
    static constexpr vl::UINT kTranslateChosen = 32773;
    static constexpr vl::UINT kRegionChosen = 32774;

    TrayIcon(vl::HWND owner, vl::UINT message, const QIcon& icon, const std::u16string& tooltip);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // The Qt icon, whose activations a tray host reports.
    QSystemTrayIcon* QtIcon() const { return icon_.get(); }

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};
