#include <gtest/gtest.h>

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>

#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_util.h"
#include "ui/skin/resource_path.h"

using vl::test::RecordingWnd;

// Every layout of the resource folder builds, and building it warns of nothing: an attribute no
// control takes, a value it cannot read, an image or font that is missing.
TEST(Layouts, EveryLayoutBuildsWithoutWarnings) {
    const QString root = QString::fromStdString(skin::ResourcePath());
    int built = 0;
    for (QDirIterator it(root, {"*.xml"}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const std::string layout = QDir(root).relativeFilePath(it.next()).toStdString();
        vl::test::LogCapture::Get()->Clear();
        RecordingWnd w(layout);
        ASSERT_NE(w.Create(nullptr, u"layout", skin::WS_POPUP, 0), nullptr) << layout;
        ASSERT_TRUE(w.layoutLoaded) << layout;
        w.ShowWindow();
        vl::test::Render(w.GetWidget());
        for (const auto& entry : vl::test::LogCapture::Get()->Entries()) {
            EXPECT_LT(entry.level, spdlog::level::warn) << layout << ": " << entry.message;
        }
        ++built;
    }
    EXPECT_GE(built, 6);
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
