#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <cstring>

#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_util.h"
#include "ui/skin/container.h"
#include "ui/skin/control.h"

using vl::test::RecordingWnd;

namespace {

struct Expected {
    std::string name;
    const char* cls;
};

// Builds `layout` in a window and checks that each control exists with its class, and that
// building it logged no warning (unknown attributes, missing images).
void CheckLayout(const char* layout, const std::vector<Expected>& controls) {
    vl::test::LogCapture::Get()->Clear();
    RecordingWnd w(layout);
    ASSERT_NE(w.Create(nullptr, u"layout", skin::WS_POPUP, 0), nullptr);
    ASSERT_TRUE(w.layoutLoaded) << layout;
    w.ShowWindow();
    vl::test::ProcessEvents();
    for (const Expected& e : controls) {
        skin::Control* c = w.Manager().FindControl(e.name);
        ASSERT_NE(c, nullptr) << layout << ": " << e.name;
        EXPECT_STREQ(c->GetClass(), e.cls) << layout << ": " << e.name;
    }
    for (const auto& entry : vl::test::LogCapture::Get()->Entries()) {
        EXPECT_LT(entry.level, spdlog::level::warn) << layout << ": " << entry.message;
    }
}

}  // namespace

TEST(Layouts, MessageBoxes) {
    CheckLayout("common/msgbox.xml",
                {{"title", "Label"}, {"msg", "Text"}, {"ok", "Button"}, {"close", "Button"}});
    CheckLayout("common/msgbox2.xml", {{"title", "Label"},
                                       {"msg", "Text"},
                                       {"ok", "Button"},
                                       {"cancel", "Button"},
                                       {"close", "Button"}});
}

TEST(Layouts, MainWindow) {
    std::vector<Expected> controls = {
        {"close", "Button"},    {"minimize", "Button"}, {"vip", "Button"},
        {"vip_sign", "Label"},  {"login", "Button"},    {"nick", "Button"},
        {"contact", "Button"},  {"help", "Button"},     {"settings", "Button"},
        {"engine", "Button"},   {"region", "Button"},   {"effect", "Button"},
        {"shortcut", "Button"}, {"launch", "Button"}};
    for (const std::string combo : {"lang_src", "lang_dst"}) {
        controls.push_back({combo, "Combo"});
        controls.push_back({combo + "_status", "Container"});
        controls.push_back({combo + "_status_icon", "Label"});
        controls.push_back({combo + "_status_name", "Label"});
        controls.push_back({combo + "_status_arrow", "Label"});
    }
    CheckLayout("main/ui.xml", controls);
}

TEST(Layouts, LoginWindow) {
    CheckLayout("login/ui.xml", {{"phone", "Edit"},
                                 {"code", "Edit"},
                                 {"gencode", "Button"},
                                 {"login", "Button"},
                                 {"agree", "Option"},
                                 {"wechat", "Button"},
                                 {"qq", "Button"},
                                 {"agreement", "Text"},
                                 {"close", "Button"},
                                 {"minimize", "Button"}});
}

TEST(Layouts, PurchaseWindow) {
    CheckLayout("pay/ui.xml",
                {{"login", "Button"},      {"nick", "Label"},       {"tip", "Label"},
                 {"vip_bg", "Label"},      {"vip_icon", "Label"},   {"vip_name", "Label"},
                 {"vip", "Option"},        {"count_bg", "Label"},   {"count_icon", "Label"},
                 {"count_name", "Label"},  {"count", "Option"},     {"goods", "Container"},
                 {"discount", "Label"},    {"wechat", "Container"}, {"wechat_bk", "Label"},
                 {"wechat_opt", "Option"}, {"ali", "Container"},    {"ali_bk", "Label"},
                 {"ali_opt", "Option"},    {"price", "Label"},      {"pay", "Button"},
                 {"protocol", "Text"},     {"close", "Button"}});
}

TEST(Layouts, ResultWindow) {
    CheckLayout("result/ui.xml", {{"result", "Container"},
                                  {"result_image", "Label"},
                                  {"result_clip", "Container"},
                                  {"result_mask", "Label"},
                                  {"result_mask_border", "Container"},
                                  {"result_translation", "Container"}});
}

TEST(Layouts, ChineseRendersWithTheCjkFace) {
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), QString("Noto Sans CJK SC"));
    EXPECT_EQ(QFontInfo(QFont("Microsoft YaHei UI")).family(), QString("Noto Sans CJK SC"));
    EXPECT_TRUE(QFontMetrics(QApplication::font()).inFontUcs4(U'译'));
}

TEST(Layouts, BuildingLoadsNoDesignerPlugins) {
    const QStringList paths = QCoreApplication::libraryPaths();
    RecordingWnd w("main/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"plugins", skin::WS_POPUP, 0), nullptr);
    ASSERT_TRUE(w.layoutLoaded);
    EXPECT_EQ(QCoreApplication::libraryPaths(), paths);
    QFile maps("/proc/self/maps");
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("libQt6Quick"));
}
