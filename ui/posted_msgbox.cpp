#include "ui/posted_msgbox.h"

#include <memory>

#include "ui/common_msgbox_wnd.h"

namespace {

struct PostedBox {
    std::u16string title;
    std::u16string message;
};

}  // namespace

bool PostMsgBox(vl::HWND hwnd, std::u16string message, std::u16string title) {
    return vl::PostOwned(
        hwnd, WM_POSTED_MSGBOX, 0,
        std::make_unique<PostedBox>(PostedBox{std::move(title), std::move(message)}));
}

void ShowPostedMsgBox(vl::HWND hwnd, vl::LPARAM lParam) {
    if (const auto box = vl::TakePosted<PostedBox>(lParam)) {
        CommonMsgBoxWnd::Show(hwnd, box->title, box->message, u"", nullptr);
    }
}
