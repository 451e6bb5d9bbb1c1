#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/skin_app.h"
#include "utils/vl_log.h"

namespace {

// The offscreen platform tells about every window operation it cannot do; the rest goes on.
void QuietPlatformMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.startsWith("This plugin does not support")) {
        return;
    }
    std::fprintf(stderr, "%s%s\n", type >= QtWarningMsg ? "Qt: " : "", qPrintable(msg));
}

}  // namespace

int main(int argc, char** argv) {
    // No display is needed; a run from the shell behaves as under CTest.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    // Per-user files (the device identifier) go to a folder of this run, never the real home.
    vl::test::TempDir userConfig;
    ::setenv("XDG_CONFIG_HOME", userConfig.Path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", userConfig.Path().c_str(), 1);
    vl::test::InstallTestLogger();

    int rc = 1;
    {
        qInstallMessageHandler(&QuietPlatformMessages);
        QApplication app(argc, argv);
        std::string error;
        if (!skin::InitApplication(&error)) {
            std::fprintf(stderr, "InitApplication failed: %s\n", error.c_str());
            return 1;
        }
        auto loop = std::make_unique<skin::QtMessageLoop>();
        rc = RUN_ALL_TESTS();
        loop.reset();
        skin::UninitApplication();
    }
    vl::log::FlushProcessLogger();
    return rc;
}
