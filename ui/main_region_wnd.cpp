#include "ui/main_region_wnd.h"

#include <QImage>
#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "config/config_manager.h"
#include "platform/capture_source.h"
#include "ui/capture_geometry.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/skin/label.h"
#include "ui/skin/run_modal.h"
#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

constexpr std::uint32_t kVeil = 0x99000000;

}  // namespace

bool MainRegionWnd::Run(vl::HWND owner) {
    std::unique_ptr<MainRegionWnd> region(new (std::nothrow) MainRegionWnd());
    if (!region) {
        VL_ERROR("create main region window failed, no enough memory");
        return false;
    }
    if (region->Create(owner, u"Velmora翻译-区域", skin::WS_POPUP,
                       skin::WS_EX_TOOLWINDOW | skin::WS_EX_OVERLAY) != nullptr) {
        skin::RunCreatedModal(*region);
    }
    return true;
}

MainRegionWnd::MainRegionWnd()
    : LayoutWindow("main/region.xml", "create main region window failed") {}

bool MainRegionWnd::OnCreate() {
    if (!Manager().Bind({{"region", &region_},
                         {"image", &image_},
                         {"clip", &clip_},
                         {"mask", &mask_},
                         {"mask_border", &maskBorder_},
                         {"tip", &tip_}})) {
        VL_ERROR("get sub controls failed");
        return false;
    }
    return true;
}

vl::LRESULT MainRegionWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    const int x = vl::GetXLParam(lParam);
    const int y = vl::GetYLParam(lParam);
    switch (msg) {
        case vl::WM_SHOWWINDOW:
            if (wParam != 0) {
                OnShowing();
            }
            break;
        case vl::WM_LBUTTONDOWN:
            startX_ = x;
            startY_ = y;
            dragging_ = true;
            clip_->SetVisible(false);
            mask_->SetBkImage(u"img_mask");
            return 0;
        case vl::WM_MOUSEMOVE:
            if (dragging_) {
                Clip(x, y);
            }
            return 0;
        case vl::WM_LBUTTONUP:
            // A release whose press happened before this window opened selects nothing.
            if (dragging_) {
                Clip(x, y);
                dragging_ = false;
                maskBorder_->SetVisible(false);
                clip_->SetVisible(true);
            }
            return 0;
        case vl::WM_RBUTTONUP:
            Cancel();
            return 0;
        case vl::WM_KEYUP:
            if (wParam == vl::VK_ESCAPE) {
                Cancel();
                return 0;
            }
            if (wParam == vl::VK_RETURN || wParam == vl::VK_SPACE) {
                ClipConfirm();
                return 0;
            }
            break;
        default:
            break;
    }
    return LayoutWindow::HandleMessage(msg, wParam, lParam);
}

void MainRegionWnd::OnShowing() {
    skin::Rect desktop;
    if (!vl::platform::DesktopRect(&desktop)) {
        VL_ERROR("GetWindowRect for desktop failed, last error {}", 0);
        return;
    }
    tip_->SetFixedWidth(desktop.Width());
    MoveWindow(desktop.left, desktop.top, desktop.Width(), desktop.Height());
    if (!Capture()) {
        VL_ERROR("Capture failed");
    }
}

bool MainRegionWnd::Capture() {
    skin::PaintManager& pm = Manager();
    image_->SetBkImage(u"");
    mask_->SetBkImage(u"");
    pm.RemoveImage("img_img");
    pm.RemoveImage("img_mask");
    skin::Rect desktop;
    if (!vl::platform::DesktopRect(&desktop)) {
        VL_ERROR("GetWindowRect for desktop failed, last error {}", 0);
        return false;
    }
    dpi_ = vl::OSDpi();
    std::string error;
    if (!vl::platform::DesktopCapture().Capture(&screen_, &error)) {
        VL_ERROR("{}", error);
        return false;
    }
    pm.AddImage("img_img", screen_.picture, false);
    image_->SetBkImage(u"img_img");
    image_->SetVisible(true);
    QImage veil(std::max(desktop.Width(), 1), std::max(desktop.Height(), 1),
                QImage::Format_ARGB32_Premultiplied);
    veil.fill(QColor::fromRgba(kVeil));
    pm.AddImage("img_mask", veil, true);
    mask_->SetBkImage(u"img_mask");
    mask_->SetVisible(true);
    return true;
}

void MainRegionWnd::Clip(int x, int y) {
    selection_ = skin::Rect{std::min(startX_, x), std::min(startY_, y), std::max(startX_, x),
                            std::max(startY_, y)};
    maskBorder_->SetVisible(false);
    maskBorder_->SetVisible(true);
    const skin::Rect inset =
        capture::VeilInsets(selection_, image_->GetWidth(), image_->GetHeight());
    const std::string veil = "file='img_mask' scale9='" + std::to_string(inset.left) + "," +
                             std::to_string(inset.top) + "," + std::to_string(inset.right) + "," +
                             std::to_string(inset.bottom) + "' hole='true'";
    mask_->SetBkImage(vl::ToUnicodeW(veil));
    clip_->SetPos(selection_);
    maskBorder_->SetPos(selection_);
}

void MainRegionWnd::ClipConfirm() {
    if (!capture::HasArea(selection_)) {
        VL_INFO("no region selected");
        ShowWindow(false);
        Close();
        return;
    }
    const skin::Rect physical = capture::ScaleRect(selection_, dpi_, 96);
    auto& region = ConfigManager::Instance()->conf().region();
    region.left(physical.left);
    region.top(physical.top);
    region.right(physical.right);
    region.bottom(physical.bottom);
    ConfigManager::Instance()->Flush();
    ShowWindow(false);
    CommonMsgBoxWnd::Show(GetHWND(), u"提示", u"设置翻译区域成功", u"", nullptr);
    Close();
}

void MainRegionWnd::Cancel() {
    dragging_ = false;
    maskBorder_->SetVisible(false);
    clip_->SetVisible(false);
    Close();
}
