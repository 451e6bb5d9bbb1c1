#include "ui/skin/combo.h"

#include <QStringList>
#include <QStyledItemDelegate>

#include "ui/skin/paint_manager.h"

namespace skin {

namespace {

constexpr int kUserDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

}  // namespace

Combo::Combo(QWidget* parent) : QComboBox(parent), Control(this) {
    // The entries are painted as the list's own items, so style sheet rules for the list (its
    // QAbstractItemView) style them; the default delegate paints them in the combo's colours.
    setItemDelegate(new QStyledItemDelegate(this));
    connect(this, &QComboBox::currentIndexChanged, this, &Combo::OnIndexChanged);
}

std::u16string Combo::GetText() const {
    return currentText().toStdU16String();
}

bool Combo::SelectItem(int index, bool takeFocus, bool notify) {
    if (index < 0 || index >= count()) {
        return false;
    }
    quiet_ = !notify;
    setCurrentIndex(index);
    quiet_ = false;
    if (takeFocus) {
        setFocus();
    }
    return true;
}

std::optional<ComboItem> Combo::GetItemAt(int index) const {
    if (index < 0 || index >= count()) {
        return std::nullopt;
    }
    return ComboItem{itemText(index).toStdU16String(),
                     itemData(index, kUserDataRole).toString().toStdU16String(),
                     itemData(index, kImageRole).toString().toStdU16String()};
}

void Combo::AddItem(const ComboItem& item) {
    addItem(QString::fromStdU16String(item.text));
    const int index = count() - 1;
    setItemData(index, QString::fromStdU16String(item.userData), kUserDataRole);
    setItemData(index, QString::fromStdU16String(item.bkImage), kImageRole);
    RefreshIcon(index);
}

void Combo::RemoveAll() {
    quiet_ = true;
    clear();
    quiet_ = false;
    previous_ = -1;
}

bool Combo::SetAttribute(const std::string& name, const std::u16string& value) {
    if (name == "itemdata") {
        SetItemRole(value, kUserDataRole);
        return true;
    }
    if (name == "itemimages") {
        SetItemRole(value, kImageRole);
        return true;
    }
    return Control::SetAttribute(name, value);
}

void Combo::SetItemRole(const std::u16string& list, int role) {
    const QStringList values = QString::fromStdU16String(list).split(';');
    for (int i = 0; i < count() && i < values.size(); ++i) {
        setItemData(i, values[i].trimmed(), role);
    }
}

void Combo::OnAttach() {
    Control::OnAttach();
    for (int i = 0; i < count(); ++i) {
        RefreshIcon(i);
    }
}

void Combo::RefreshIcon(int index) {
    PaintManager* manager = GetManager();
    const std::u16string image = itemData(index, kImageRole).toString().toStdU16String();
    if (manager == nullptr || image.empty()) {
        return;
    }
    ImageDescriptor descriptor;
    std::string error;
    if (ImageDescriptor::Parse(image, &descriptor, &error)) {
        const QImage picture = manager->GetImage(descriptor.file);
        if (!picture.isNull()) {
            setItemIcon(index, QIcon(QPixmap::fromImage(picture)));
        }
    }
}

void Combo::OnIndexChanged(int index) {
    const int previous = previous_;
    previous_ = index;
    if (!quiet_ && index >= 0) {
        SendNotify("itemselect", static_cast<vl::WPARAM>(index), previous);
    }
}

}  // namespace skin
