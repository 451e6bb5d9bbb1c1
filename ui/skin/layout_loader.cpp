#include "ui/skin/layout_loader.h"

#include <QCoreApplication>

#include "ui/skin/button.h"
#include "ui/skin/combo.h"
#include "ui/skin/container.h"
#include "ui/skin/edit.h"
#include "ui/skin/label.h"
#include "ui/skin/option.h"
#include "ui/skin/result_zlabel.h"
#include "ui/skin/text.h"

namespace skin {

namespace detail {

PluginFoldersHidden::PluginFoldersHidden() : saved(QCoreApplication::libraryPaths()) {
    QCoreApplication::setLibraryPaths({});
}

}  // namespace detail

LayoutLoader::LayoutLoader() {
    QCoreApplication::setLibraryPaths(saved);
    clearPluginPaths();
}

QWidget* LayoutLoader::createWidget(const QString& className, QWidget* parent,
                                    const QString& name) {
    QWidget* widget = nullptr;
    if (className == "Label") {
        widget = new Label(parent);
    } else if (className == "Text") {
        widget = new Text(parent);
    } else if (className == "Button") {
        widget = new Button(parent);
    } else if (className == "Option") {
        widget = new Option(parent);
    } else if (className == "Edit") {
        widget = new Edit(parent);
    } else if (className == "Combo") {
        widget = new Combo(parent);
    } else if (className == "Container") {
        widget = new Container(parent);
    } else if (className == "ResultZlabel") {
        widget = new ResultZlabel(parent);
    } else {
        return QUiLoader::createWidget(className, parent, name);
    }
    widget->setObjectName(name);
    return widget;
}

}  // namespace skin
