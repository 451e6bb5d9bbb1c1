#include <gtest/gtest.h>

#include <QSystemTrayIcon>

#include "platform/tray_icon.h"
#include "tests/ui/ui_test_util.h"
#include "ui/main_wnd.h"

// Hosts that report only single clicks (StatusNotifierItem through D-Bus) bring the main window
// back as double clicks do; a right click (the menu) does not.
TEST(Tray, SingleAndDoubleClicksBringTheMainWindowBack) {
    MainWnd* main = MainWnd::Instance();
    ASSERT_NE(main->Create(nullptr, u"Velmora翻译-主窗口", skin::WS_POPUP, 0), nullptr);
    TrayIcon tray(main->GetHWND(), MainWnd::kTrayMessage, QIcon(), u"tray");
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        main->ShowWindow(false);
        emit tray.QtIcon()->activated(QSystemTrayIcon::Context);
        vl::test::ProcessEvents();
        EXPECT_FALSE(main->IsVisible());
        emit tray.QtIcon()->activated(reason);
        EXPECT_TRUE(vl::test::RunUntil([&] { return main->IsVisible(); })) << reason;
    }
    main->Close();
}
