#pragma once

#include <vector>

#include "ui/skin/label.h"

namespace skin {

// A label for longer text, wrapped when multiline. With showhtml its text may hold links
// (<a href='…'>…</a>); clicking one sends "link" with the link's index in text order.
class Text : public Label {
    Q_OBJECT

public:
    explicit Text(QWidget* parent = nullptr);

    const char* GetClass() const override { return "Text"; }
    std::u16string GetText() const override { return source_; }
    void SetText(const std::u16string& text) override;
    void OnAttach() override;

    int GetLinkCount() const { return static_cast<int>(links_.size()); }
    // The target of link `index`, or empty.
    std::u16string GetLinkContent(int index) const;

private:
    void OnLinkActivated(const QString& link);

    std::u16string source_;
    std::vector<std::u16string> links_;
};

}  // namespace skin
