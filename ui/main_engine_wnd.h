#pragma once

#include "ui/choice_page.h"

// The text direction: horizontal or vertical text, which picks the OCR engine.
class MainEngineWnd : public ChoicePage {
public:
    MainEngineWnd();
    const char* GetWindowClassName() const override { return "velmora_main_engine_wnd"; }

private:
    std::string Stored() const override;
    void Store(const std::string& value) override;
};
