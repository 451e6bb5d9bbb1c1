#pragma once

#include <string>

#include "ui/page_window.h"

// A page choosing one of two values of a setting with two grouped options named after the
// values. The option of the stored value is selected when the page opens (the first one also for
// an empty value); the setting is saved only when the user selects an option.
class ChoicePage : public PageWindow {
protected:
    ChoicePage(std::string layout, std::string failure, std::string first, std::string second);

    virtual std::string Stored() const = 0;
    virtual void Store(const std::string& value) = 0;

private:
    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;

    const std::string first_;
    const std::string second_;
};
