#include "ui/common_msgbox_wnd.h"

#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/run_modal.h"
#include "ui/skin/text.h"
#include "utils/vl_log.h"

void CommonMsgBoxWnd::Show(vl::HWND parent, const std::u16string& title,
                           const std::u16string& message, const std::u16string& okText,
                           std::function<void()> okAction) {
    if (skin::RunModal<CommonMsgBoxWnd>(parent, u"Velmora翻译-对话框", title, message, okText,
                                        std::move(okAction)) == skin::kModalNotAllocated) {
        VL_ERROR("create CommonMsgBoxWnd failed, no enough memory");
    }
}

CommonMsgBoxWnd::CommonMsgBoxWnd(std::u16string title, std::u16string message,
                                 std::u16string okText, std::function<void()> okAction)
    : LayoutWindow("common/msgbox.xml", "create common msgbox window failed"),
      title_(std::move(title)),
      message_(std::move(message)),
      okText_(std::move(okText)),
      okAction_(std::move(okAction)) {}

bool CommonMsgBoxWnd::OnCreate() {
    skin::Label* title = nullptr;
    skin::Text* msg = nullptr;
    skin::Button* ok = nullptr;
    if (!Manager().Bind({{"title", &title}, {"msg", &msg}, {"ok", &ok}})) {
        return false;
    }
    title->SetText(title_);
    msg->SetText(message_);
    if (!okText_.empty())
        ok->SetText(okText_);
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
