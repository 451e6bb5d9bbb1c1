#include "ui/common_msgbox2_wnd.h"

#include <memory>
#include <new>

#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/text.h"
#include "utils/vl_log.h"

void CommonMsgBox2Wnd::Show(vl::HWND parent, const std::u16string& title,
                            const std::u16string& message, const std::u16string& okText,
                            std::function<void()> okAction, const std::u16string& cancelText,
                            std::function<void()> cancelAction, std::function<void()> closeAction) {
    std::unique_ptr<CommonMsgBox2Wnd> box(new (std::nothrow) CommonMsgBox2Wnd);
    if (!box) {
        VL_ERROR("create CommonMsgBox2Wnd failed, no enough memory");
        return;
    }
    if (box->Create(parent, u"Velmora翻译-对话框2", skin::WS_POPUP, skin::WS_EX_TOOLWINDOW) ==
        nullptr) {
        VL_ERROR("create CommonMsgBox2Wnd window failed");
        return;
    }
    if (box->title_ != nullptr)
        box->title_->SetText(title);
    if (box->msg_ != nullptr)
        box->msg_->SetText(message);
    if (box->ok_ != nullptr && !okText.empty())
        box->ok_->SetText(okText);
    if (box->cancel_ != nullptr && !cancelText.empty())
        box->cancel_->SetText(cancelText);
    box->okAction_ = std::move(okAction);
    box->cancelAction_ = std::move(cancelAction);
    box->closeAction_ = std::move(closeAction);
    box->CenterWindow();
    box->ShowModal();
    box->okAction_ = nullptr;
    box->cancelAction_ = nullptr;
    box->closeAction_ = nullptr;
    box->Close();  // still open when the modal run was cut short
}

CommonMsgBox2Wnd::CommonMsgBox2Wnd()
    : LayoutWindow("common/msgbox2.xml", "create common msgbox2 window failed") {}

bool CommonMsgBox2Wnd::OnCreate() {
    skin::PaintManager& pm = Manager();
    title_ = pm.FindControl<skin::Label>("title");
    msg_ = pm.FindControl<skin::Text>("msg");
    ok_ = pm.FindControl<skin::Button>("ok");
    cancel_ = pm.FindControl<skin::Button>("cancel");
    if (title_ == nullptr || msg_ == nullptr || ok_ == nullptr || cancel_ == nullptr) {
        VL_ERROR("some control is not found");
    }
    return true;
}

void CommonMsgBox2Wnd::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    std::function<void()>* action = nullptr;
    if (msg.senderName == "close") {
        action = &closeAction_;
    } else if (msg.senderName == "ok") {
        action = &okAction_;
    } else if (msg.senderName == "cancel") {
        action = &cancelAction_;
    } else {
        return;
    }
    Close();
    if (*action)
        (*action)();
}
