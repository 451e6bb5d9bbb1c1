#include "ui/result_wnd.h"

#include "ui/skin/container.h"
#include "utils/vl_log.h"

ResultWnd::ResultWnd() : TopLevelWindow("result/ui.xml", "create result window failed") {}

bool ResultWnd::OnCreate() {
    if (!Init()) {
        VL_ERROR("init result window failed");
        return false;
    }
    return true;
}

bool ResultWnd::Init() {
    translator_.Init(this);
    skin::PaintManager& pm = Manager();
    for (const char* name : {"result_image", "result_clip", "result_mask", "result_mask_border"}) {
        if (pm.FindControl(name) == nullptr) {
            VL_ERROR("get sub controls failed");
            return false;
        }
    }
    result_ = pm.FindControl("result");
    resultTranslation_ = pm.FindControl<skin::Container>("result_translation");
    return true;
}

void ResultWnd::OnDestroy() {
    translator_.Uninit();
}

void ResultWnd::OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask&,
                                   std::vector<TranslateLine>& lines) {
    // Nothing captures yet; a result can only be a stray one.
    VL_INFO("cap id {} dropped, ok {}, {} lines", id, ok, lines.size());
}

// Placeholder until the capture work provides arming and disarming.
void ResultWnd::Begin() {}

// Placeholder until the capture work provides arming and disarming.
void ResultWnd::Disarm() {}
