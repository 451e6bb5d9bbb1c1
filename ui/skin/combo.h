#pragma once

#include <QComboBox>
#include <optional>

#include "ui/skin/control.h"

namespace skin {

// One entry of a combo: its text, user data and image (an image description, shown as its icon).
struct ComboItem {
    std::u16string text;
    std::u16string userData;
    std::u16string bkImage;
};

// A drop-down list. Choosing an entry sends "itemselect" (wParam the new index, lParam the
// previous one). Layouts give the entries' texts as items and their user data and images as the
// attributes itemdata and itemimages, each ';'-separated in item order.
class Combo : public QComboBox, public Control {
    Q_OBJECT

public:
    explicit Combo(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Combo"; }
    std::u16string GetText() const override;

    int GetCount() const { return count(); }
    int GetCurSel() const { return currentIndex(); }
    // Selects `index`; sends "itemselect" unless `notify` is false. False when out of range.
    bool SelectItem(int index, bool takeFocus = false, bool notify = true);
    std::optional<ComboItem> GetItemAt(int index) const;
    void AddItem(const ComboItem& item);
    void RemoveAll();

    bool SetAttribute(const std::string& name, const std::u16string& value) override;
    void OnAttach() override;

private:
    void OnIndexChanged(int index);
    void SetItemRole(const std::u16string& list, int role);
    void RefreshIcon(int index);

    bool quiet_ = false;
    int previous_ = -1;
};

}  // namespace skin
