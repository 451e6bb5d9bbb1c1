#pragma once

#include <QStringList>
#include <QUiLoader>

namespace skin {

namespace detail {
// Hides Qt's plug-in folders while a QUiLoader is being built: its constructor loads every
// Designer plug-in it finds (Qt Quick among them), though layouts use none.
struct PluginFoldersHidden {
    PluginFoldersHidden();
    QStringList saved;
};
}  // namespace detail

// Builds layout files (Qt Designer XML) with the skin's controls for the class names Label, Text,
// Button, Option, Edit, Combo, Container and ResultZlabel; other Qt widget classes build as usual.
class LayoutLoader final : private detail::PluginFoldersHidden, public QUiLoader {
public:
    LayoutLoader();

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override;
};

}  // namespace skin
