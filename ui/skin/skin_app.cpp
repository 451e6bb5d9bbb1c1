#include "ui/skin/skin_app.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>

#include "platform/dpi_source.h"
#include "ui/skin/fonts.h"
#include "ui/skin/resource_path.h"
#include "utils/vl_log.h"

namespace skin {

bool InitApplication(std::string* error) {
    if (qApp == nullptr) {
        *error = "no application object";
        return false;
    }
    const QString resources = QString::fromStdString(ResourcePath());
    if (!QDir(resources).exists()) {
        *error = "resource folder " + resources.toStdString() + " is missing";
        return false;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    for (const char* face : {"Microsoft YaHei UI", "Microsoft YaHei"}) {
        QFont::insertSubstitution(QString::fromLatin1(face), QString::fromLatin1(kCjkFace));
    }
    QFont font = MakeFont(QString::fromLatin1(kCjkFace), 13, false, false, false);
    QApplication::setFont(font);

    QFile sheet(resources + "style.qss");
    if (sheet.open(QIODevice::ReadOnly)) {
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    } else {
        VL_WARN("style sheet {} cannot be read, {}", sheet.fileName().toStdString(),
                sheet.errorString().toStdString());
    }
    vl::platform::InstallDpiSource();
    return true;
}

void UninitApplication() {
    vl::platform::UninstallDpiSource();
}

}  // namespace skin
