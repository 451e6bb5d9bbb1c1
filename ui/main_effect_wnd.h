#pragma once

#include "ui/choice_page.h"

// The display effect: translations painted over their source lines on an opaque ground, or on a
// clear one that lets the source show through.
class MainEffectWnd : public ChoicePage {
public:
    MainEffectWnd();
    const char* GetWindowClassName() const override { return "velmora_main_effect_wnd"; }

private:
    std::string Stored() const override;
    void Store(const std::string& value) override;
};
