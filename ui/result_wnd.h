#pragma once

#include "logic/translator.h"
#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

namespace skin {
class Container;
class Control;
}  // namespace skin

// The full-screen result window: owner of the translator, which it starts on creation and stops
// when it is destroyed. Hotkeys, capture and the overlay arrive with the capture work.
class ResultWnd : public TopLevelWindow,
                  public ITranslatorCallback,
                  public vl::Singleton<ResultWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_result_wnd"; }

    void OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask& task,
                            std::vector<TranslateLine>& lines) override;

    void Begin();
    void Disarm();

protected:
    bool OnCreate() override;
    void OnDestroy() override;

private:
    friend class vl::Singleton<ResultWnd>;
    ResultWnd();
    bool Init();

    Translator translator_;
    skin::Control* result_ = nullptr;
    skin::Container* resultTranslation_ = nullptr;
};
