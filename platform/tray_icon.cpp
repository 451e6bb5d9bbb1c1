#include "platform/tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(vl::HWND owner, vl::UINT message, const QIcon& icon,
                   const std::u16string& tooltip)
    : menu_(std::make_unique<QMenu>()), icon_(std::make_unique<QSystemTrayIcon>(icon)) {
    const auto post = [owner, message](vl::UINT event) {
        return [owner, message, event] {
            vl::PostMessage(owner, message, 0, static_cast<vl::LPARAM>(event));
        };
    };
    QObject::connect(menu_->addAction(QString::fromUtf16(u"开始翻译")), &QAction::triggered,
                     post(kTranslateChosen));
    QObject::connect(menu_->addAction(QString::fromUtf16(u"设置翻译区域")), &QAction::triggered,
                     post(kRegionChosen));
    menu_->addSeparator();
    QAction* exit = menu_->addAction(QString::fromUtf16(u"退出"));
    QObject::connect(exit, &QAction::triggered, [owner, message] {
        vl::PostMessage(owner, message, 0, static_cast<vl::LPARAM>(kExitChosen));
    });
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                     [owner, message](QSystemTrayIcon::ActivationReason reason) {
                         vl::LPARAM event = 0;
                         if (reason == QSystemTrayIcon::Trigger) {
                             event = kSelect;
                         } else if (reason == QSystemTrayIcon::DoubleClick) {
                             event = vl::WM_LBUTTONDBLCLK;
                         } else {
                             return;  // the context menu opens by itself
                         }
                         vl::PostMessage(owner, message, 0, event);
                     });
    icon_->setToolTip(QString::fromStdU16String(tooltip));
    icon_->setContextMenu(menu_.get());
    icon_->show();
}

TrayIcon::~TrayIcon() {
    icon_->hide();
    icon_.reset();
    menu_.reset();
}
