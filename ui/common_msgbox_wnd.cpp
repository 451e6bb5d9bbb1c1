#include "ui/common_msgbox_wnd.h"

#include <memory>
#include <new>

#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/text.h"
#include "utils/vl_log.h"

void CommonMsgBoxWnd::Show(vl::HWND parent, const std::u16string& title,
                           const std::u16string& message, const std::u16string& okText,
                           std::function<void()> okAction) {
    std::unique_ptr<CommonMsgBoxWnd> box(new (std::nothrow) CommonMsgBoxWnd);
    if (!box) {
        VL_ERROR("create CommonMsgBoxWnd failed, no enough memory");
        return;
    }
    if (box->Create(parent, u"Velmora翻译-对话框", skin::WS_POPUP, skin::WS_EX_TOOLWINDOW) ==
        nullptr) {
        VL_ERROR("create CommonMsgBoxWnd window failed");
        return;
    }
    if (box->title_ != nullptr)
        box->title_->SetText(title);
    if (box->msg_ != nullptr)
        box->msg_->SetText(message);
    if (box->ok_ != nullptr && !okText.empty())
        box->ok_->SetText(okText);
    box->okAction_ = std::move(okAction);
    box->CenterWindow();
    box->ShowModal();
    box->okAction_ = nullptr;
    box->Close();  // still open when the modal run was cut short
}

CommonMsgBoxWnd::CommonMsgBoxWnd()
    : LayoutWindow("common/msgbox.xml", "create common msgbox window failed") {}

bool CommonMsgBoxWnd::OnCreate() {
    skin::PaintManager& pm = Manager();
    title_ = pm.FindControl<skin::Label>("title");
    msg_ = pm.FindControl<skin::Text>("msg");
    ok_ = pm.FindControl<skin::Button>("ok");
    if (title_ == nullptr || msg_ == nullptr || ok_ == nullptr) {
        VL_ERROR("some control is not found");
    }
    return true;
}

void CommonMsgBoxWnd::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "close") {
        Close();
    } else if (msg.senderName == "ok") {
        Close();
        if (okAction_)
            okAction_();
    }
}
