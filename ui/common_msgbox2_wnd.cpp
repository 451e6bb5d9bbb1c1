#include "ui/common_msgbox2_wnd.h"

#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/run_modal.h"
#include "ui/skin/text.h"
#include "utils/vl_log.h"

void CommonMsgBox2Wnd::Show(vl::HWND parent, const std::u16string& title,
                            const std::u16string& message, const std::u16string& okText,
                            std::function<void()> okAction, const std::u16string& cancelText,
                            std::function<void()> cancelAction, std::function<void()> closeAction) {
    Content content{title,
                    message,
                    okText,
                    cancelText,
                    std::move(okAction),
                    std::move(cancelAction),
                    std::move(closeAction)};
    if (skin::RunModal<CommonMsgBox2Wnd>(parent, u"Velmora翻译-对话框2", std::move(content)) ==
        skin::kModalNotAllocated) {
        VL_ERROR("create CommonMsgBox2Wnd failed, no enough memory");
    }
}

CommonMsgBox2Wnd::CommonMsgBox2Wnd(Content content)
    : LayoutWindow("common/msgbox2.xml", "create common msgbox2 window failed"),
      content_(std::move(content)) {}

bool CommonMsgBox2Wnd::OnCreate() {
    skin::Label* title = nullptr;
    skin::Text* msg = nullptr;
    skin::Button* ok = nullptr;
    skin::Button* cancel = nullptr;
    if (!Manager().Bind({{"title", &title}, {"msg", &msg}, {"ok", &ok}, {"cancel", &cancel}})) {
        return false;
    }
    title->SetText(content_.title);
    msg->SetText(content_.message);
    if (!content_.okText.empty())
        ok->SetText(content_.okText);
    if (!content_.cancelText.empty())
        cancel->SetText(content_.cancelText);
    return true;
}

void CommonMsgBox2Wnd::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    const std::function<void()>* action = nullptr;
    if (msg.senderName == "close") {
        action = &content_.closeAction;
    } else if (msg.senderName == "ok") {
        action = &content_.okAction;
    } else if (msg.senderName == "cancel") {
        action = &content_.cancelAction;
    } else {
        return;
    }
    Close();
    if (*action)
        (*action)();
}
