#include "ui/choice_page.h"

#include "config/config_manager.h"
#include "ui/skin/option.h"

ChoicePage::ChoicePage(std::string layout, std::string failure, std::string first,
                       std::string second)
    : PageWindow(std::move(layout), std::move(failure)),
      first_(std::move(first)),
      second_(std::move(second)) {}

bool ChoicePage::OnCreate() {
    const std::string stored = Stored();
    const std::string& chosen = stored.empty() || stored == first_ ? first_ : second_;
    if (auto* option = Manager().FindControl<skin::Option>(chosen)) {
        option->Selected(true, false);
    } else {
        VL_ERROR("no option {}", chosen);
    }
    return true;
}

// Selecting is the user's choice: the page fills itself without notifications, and moving the
// focus over an option with Tab selects nothing.
void ChoicePage::OnNotify(const skin::Notification& msg) {
    if (msg.type != "selectchanged" || msg.wParam == 0) {
        return;
    }
    if (msg.senderName == first_ || msg.senderName == second_) {
        Store(msg.senderName);
        ConfigManager::Instance()->Flush();
    }
}
