#include "ui/result_wnd.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>
#include <new>
#include <utility>

#include "config/config_manager.h"
#include "logic/user_manager.h"
#include "platform/capture_source.h"
#include "platform/hotkey.h"
#include "ui/capture_geometry.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/main_region_wnd.h"
#include "ui/result_float_wnd.h"
#include "ui/skin/container.h"
#include "ui/skin/icon_registry.h"
#include "ui/skin/label.h"
#include "ui/skin/result_zlabel.h"
#include "ui/skin/run_modal.h"
#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_session.h"
#include "utils/vl_string.h"

namespace {

namespace hk = vl::platform;

constexpr int kFirstHotKeyId = 0x3333;
constexpr int kHotKeyIdEnd = 0xBFFF;  // exclusive
constexpr vl::UINT kHotKeyModifiers = hk::MOD_CONTROL | hk::MOD_ALT | hk::MOD_NOREPEAT;
constexpr std::uint32_t kLabelBackground = 0xD9000000;
// "uncover": a light veil, just enough to set the label off; the outlined text does the rest.
constexpr std::uint32_t kUncoverBackground = 0x33000000;
constexpr vl::WPARAM kVkC = 'C';
constexpr char16_t kLabelFace[] = u"Microsoft YaHei UI";
constexpr int kFloatMargin = 66;
// A failure's reason is cut to this many UTF-16 units on the screen; the log has it whole.
constexpr std::size_t kReasonUnits = 60;
constexpr int kStatusGap = 4;

// Registers Ctrl+Alt+`vk` under the first free id from `first`; the id, or -1.
int RegisterFrom(vl::HWND hwnd, int first, vl::UINT vk) {
    for (int id = first; id < kHotKeyIdEnd; ++id) {
        if (hk::RegisterHotKey(hwnd, id, kHotKeyModifiers, vk)) {
            VL_INFO("RegisterHotKey for id 0x{:x} ok", id);
            return id;
        }
        VL_WARN("RegisterHotKey for id {:x} failed, last error {}", id, hk::LastHotKeyError());
    }
    return -1;
}

// One line of at most kReasonUnits units: line breaks and other controls become spaces.
std::u16string ShortReason(const std::string& utf8) {
    std::u16string text = vl::ToUnicodeW(utf8);
    for (char16_t& c : text) {
        if (c < 0x20 || c == 0x7F)
            c = u' ';
    }
    if (text.size() > kReasonUnits) {
        std::size_t cut = kReasonUnits;
        if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
            --cut;  // never half a surrogate pair
        text = text.substr(0, cut) + u"…";
    }
    return text;
}

// Sets `flag` for the life of the object and puts the old value back.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag), old_(std::exchange(flag, true)) {}
    ~ScopedFlag() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

}  // namespace

struct ResultWnd::Finished {
    std::uint32_t id = 0;
    TranslateTask task;
    std::vector<TranslateLine> lines;
};

ResultWnd::ResultWnd() : TopLevelWindow("result/ui.xml", "create result window failed") {}

ResultWnd::~ResultWnd() = default;

bool ResultWnd::OnCreate() {
    if (!Init()) {
        VL_ERROR("init result window failed");
        return false;
    }
    return true;
}

bool ResultWnd::Init() {
    self_ = GetHWND();
    translator_.Init(this);
    // A local model takes a moment to load: on the task thread now, not on the first capture.
    translator_.Preload(vl::LangCodeToId(ConfigManager::Instance()->conf().lang().src()));
    if (!Manager().Bind({{"result_image", &resultImage_},
                         {"result_clip", &resultClip_},
                         {"result_mask", &resultMask_},
                         {"result_mask_border", &resultMaskBorder_},
                         {"result_status", &resultStatus_},
                         {"result", &result_},
                         {"result_translation", &resultTranslation_}})) {
        VL_ERROR("get sub controls failed");
        return false;
    }
    StartPortalShortcuts();
    return RegisterHotKeys();
}

bool ResultWnd::RegisterHotKeys() {
    if (translateHotKey_ >= 0) {
        return true;
    }
    translateHotKey_ = RegisterFrom(GetHWND(), kFirstHotKeyId, 'T');
    if (translateHotKey_ < 0) {
        VL_ERROR("register hot key for translation failed");
        // A Wayland session without the X grab still has the portal, the tray and the commands.
        return vl::DetectSession() == vl::SessionKind::Wayland;
    }
    regionHotKey_ = RegisterFrom(GetHWND(), translateHotKey_ + 1, 'R');
    if (regionHotKey_ < 0) {
        VL_WARN("register hot key for region failed");
    }
    return true;
}

void ResultWnd::StartPortalShortcuts() {
    if (portalShortcuts_ || vl::DetectSession() != vl::SessionKind::Wayland) {
        return;
    }
    // X key grabs through XWayland fire only while one of our windows has the focus.
    const vl::HWND self = GetHWND();
    portalShortcuts_ = std::make_unique<vl::platform::PortalShortcuts>([self](const QString& id) {
        if (id == "translate" || id == "region") {
            vl::PostMessage(self, kPortalShortcutMessage, id == "translate" ? 1 : 0, 0);
        }
    });
    std::string error;
    if (portalShortcuts_->Start(&error)) {
        VL_INFO("global shortcuts through the desktop portal");
    } else {
        VL_WARN(
            "no global shortcuts portal ({}); bind velmora-translator --translate and --region "
            "as desktop shortcuts",
            error);
        portalShortcuts_.reset();
    }
}

void ResultWnd::ReleaseHotKeys() {
    for (int* id : {&translateHotKey_, &regionHotKey_}) {
        if (*id >= 0) {
            hk::UnregisterHotKey(GetHWND(), *id);
            *id = -1;
        }
    }
}

void ResultWnd::OnDestroy() {
    ReleaseHotKeys();
    portalShortcuts_.reset();
    translator_.Uninit();
    CloseFloatWindow();
}

void ResultWnd::RunHotKeyCommand(bool translate) {
    if (active_ && !modal_) {
        translate ? Translate() : Region();
    }
}

vl::LRESULT ResultWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_HOTKEY:
            // A hotkey while region selection or one of its boxes is open would stack a second.
            if (active_ && !modal_) {
                if (translateHotKey_ >= 0 && wParam == static_cast<vl::WPARAM>(translateHotKey_)) {
                    Translate();
                } else if (regionHotKey_ >= 0 && wParam == static_cast<vl::WPARAM>(regionHotKey_)) {
                    Region();
                }
            }
            return 0;
        case kPortalShortcutMessage:
            RunHotKeyCommand(wParam != 0);
            return 0;
        case kResultMessage:
            OnResult(wParam != 0, vl::TakePosted<Finished>(lParam));
            return 0;
        case vl::WM_LBUTTONUP:
        case vl::WM_RBUTTONUP:
            Dismiss();
            return 0;
        case vl::WM_KEYUP:
            if (wParam == vl::VK_RETURN || wParam == vl::VK_ESCAPE || wParam == vl::VK_SPACE) {
                Dismiss();
            }
            return 0;
        case vl::WM_KEYDOWN:
            if (wParam == kVkC && (QGuiApplication::keyboardModifiers() & Qt::ControlModifier)) {
                CopyTranslations();
                return 0;
            }
            break;
        default:
            break;
    }
    return TopLevelWindow::HandleMessage(msg, wParam, lParam);
}

void ResultWnd::Begin() {
    // Released while disarmed; the ball still translates when another program took them.
    if (GetHWND() != nullptr && !RegisterHotKeys()) {
        VL_WARN("armed without the translation hotkey");
    }
    active_ = true;
    CloseFloatWindow();
    float_.reset(new (std::nothrow) ResultFloatWnd());
    if (!float_) {
        VL_ERROR("create result float window failed, no enough memory");
        return;
    }
    if (float_->Create(GetHWND(), u"Velmora翻译-悬浮窗", skin::WS_POPUP,
                       skin::WS_EX_TOOLWINDOW | skin::kFloating | skin::WS_EX_LAYERED) == nullptr) {
        float_.reset();
        return;
    }
    vl::WndSetIcon(float_->GetHWND(), skin::LoadAppIcon());
    float_->ShowWindow(true, true);
    skin::Rect desktop, ball;
    float_->GetWindowRect(&ball);
    int x = 0, y = 0;
    if (vl::platform::DesktopRect(&desktop)) {
        x = desktop.right - kFloatMargin - ball.Width();
        y = desktop.top + kFloatMargin;
    } else {
        VL_ERROR("GetWindowRect for desktop failed, last error {}", 0);
    }
    if (!float_->MoveWindow(x, y, ball.Width(), ball.Height())) {
        VL_ERROR("SetWindowPos failed, last error {}", 0);
    }
    float_->SetTopmost(true);
}

void ResultWnd::Disarm() {
    CloseFloatWindow();
    active_ = false;
    ReleaseHotKeys();
    if (resultTranslation_ != nullptr) {
        DropPendingRun();
        ClearResult();
    }
}

void ResultWnd::DropPendingRun() {
    if (runPending_) {
        VL_INFO("cap id {} ended before its answer", captureId_);
        ++captureId_;  // its answer is now expired: neither shown nor reported
        runPending_ = false;
    }
}

void ResultWnd::OnQuotaUsedUp() {
    if (resultStatus_ != nullptr && IsVisible()) {
        VL_INFO("translations used up, said on the overlay");
        ShowStatus(u"翻译次数已用完，请开通VIP");
    }
}

void ResultWnd::CopyTranslations() {
    if (shown_.empty()) {
        return;
    }
    std::u16string text;
    for (const std::u16string& line : shown_) {
        text += (text.empty() ? u"" : u"\n") + line;
    }
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(text));
    VL_INFO("{} translations copied", shown_.size());
}

void ResultWnd::CloseFloatWindow() {
    if (float_) {
        float_->ShowWindow(false);
        float_->Close();
        float_.reset();
    }
}

void ResultWnd::ShowFloatWindow() {
    if (float_) {
        float_->ShowWindow(true, true);
        float_->SetTopmost(true);
    }
}

void ResultWnd::Region() {
    DropPendingRun();
    ClearResult();  // a result on screen would be taken for the screen
    if (float_) {
        float_->ShowWindow(false);
    }
    {
        ScopedFlag modal(modal_);
        MainRegionWnd::Run(GetHWND());
    }
    ShowFloatWindow();
}

void ResultWnd::Translate() {
    ClearResult();

    const auto& stored = ConfigManager::Instance()->conf().region();
    const skin::Rect region{stored.left(), stored.top(), stored.right(), stored.bottom()};
    if (!capture::HasArea(region)) {
        ScopedFlag modal(modal_);
        CommonMsgBoxWnd::Show(GetHWND(), u"提示", u"设置翻译区域后方可进行翻译操作", u"立即设置",
                              [this] { Region(); });
        return;
    }
    if (float_) {
        float_->ShowWindow(false);  // hidden for the run: it would be captured
    }
    std::u16string why;
    bool captured = false;
    {
        ScopedFlag busy(modal_);
        captured = Capture(&why);
    }
    if (!captured) {
        VL_ERROR("Capture failed");
        ShowFloatWindow();
        ScopedFlag modal(modal_);
        CommonMsgBoxWnd::Show(GetHWND(), u"提示", why.empty() ? u"获取原文失败" : why, u"",
                              nullptr);
        return;
    }
    // Submitted before the frozen screen is shown: the request leaves a little earlier.
    region96_ = capture::ScaleRect(region, 96, dpi_);
    ClipConfirmWithRect(region);
    if (!MoveWindow(desktop_.left, desktop_.top, desktop_.Width(), desktop_.Height())) {
        VL_ERROR("SetWindowPos failed, last error {}", 0);
    }
    ShowWindow(true, true);
}

bool ResultWnd::Capture(std::u16string* why) {
    skin::PaintManager& pm = Manager();
    resultImage_->SetBkImage(u"");
    pm.RemoveImage("img_img");
    if (!vl::platform::DesktopRect(&desktop_)) {
        VL_ERROR("GetWindowRect for desktop failed, last error {}", 0);
        return false;
    }
    dpi_ = vl::OSDpi();
    VL_INFO("current dpi is {}, screen rect is {{{}, {}, {}, {}}}", dpi_, desktop_.left,
            desktop_.top, desktop_.right, desktop_.bottom);
    std::string error;
    vl::platform::CaptureSource& source = vl::platform::DesktopCapture();
    if (!source.Capture(&screen_, &error)) {
        VL_ERROR("{}", error);
        // The portal's failures are lines for the user; the X server's are not.
        if (std::string_view(source.Name()) != "x11") {
            *why = vl::ToUnicodeW(error);
        }
        return false;
    }
    imageRect_ = skin::Rect{0, 0, screen_.width, screen_.height};
    pm.AddImage("img_img", screen_.picture, false);
    resultImage_->SetBkImage(u"img_img");
    resultImage_->SetVisible(true);
    // The mask layer stays clear over a result: nothing to paint there.
    resultMask_->SetBkImage(u"");
    resultMask_->SetVisible(true);
    return true;
}

void ResultWnd::ClipConfirmWithRect(const skin::Rect& clip) {
    if (capture::IsOneColour(screen_.rgb, imageRect_, clip)) {
        // Nothing to read: no request, no charge. Through XWayland the whole screen reads black.
        const bool blind = vl::DetectSession() == vl::SessionKind::Wayland &&
                           std::string_view(vl::platform::DesktopCapture().Name()) == "x11";
        VL_WARN("the region is one colour, nothing sent{}",
                blind ? " (a Wayland session read through XWayland)" : "");
        ShowStatus(blind ? u"无法读取屏幕画面：Wayland 会话需要桌面门户 xdg-desktop-portal"
                         : u"翻译区域内没有文字");
        return;
    }
    std::string jpeg;
    OcrCrop crop;  // the local engine reads the pixels, the online ones the JPEG
    if (!capture::ClipImage(screen_.rgb, imageRect_, clip, &jpeg, &crop.rgb)) {
        VL_ERROR("ClipImage failed");
        ShowStatus(capture::Contains(imageRect_, clip)
                       ? u"截图编码失败"
                       : u"翻译区域超出了屏幕范围，请按 Ctrl+Alt+R 重新设置");
        return;
    }
    const auto& lang = ConfigManager::Instance()->conf().lang();
    const LanguageId src = vl::LangCodeToId(lang.src());
    const LanguageId dst = vl::LangCodeToId(lang.dst());
    crop.width = clip.Width();
    crop.height = clip.Height();
    ++captureId_;
    if (!translator_.PushTask(captureId_, src, dst, std::move(jpeg), std::move(crop))) {
        VL_ERROR("do translate failed");
        return;
    }
    runPending_ = true;
    ShowStatus(u"正在识别翻译…");
}

void ResultWnd::OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask task,
                                   std::vector<TranslateLine> lines) {
    std::unique_ptr<Finished> finished(new (std::nothrow) Finished());
    if (!finished) {
        VL_ERROR("create translation result failed, no enough memory");
        return;
    }
    finished->id = id;
    finished->task = std::move(task);
    finished->task.image = std::string();  // the picture is not needed any more
    finished->lines = std::move(lines);
    vl::PostOwned(self_, kResultMessage, ok ? 1 : 0, std::move(finished));
}

void ResultWnd::OnResult(bool ok, std::unique_ptr<Finished> finished) {
    if (!finished) {
        return;
    }
    if (finished->id != captureId_) {
        VL_INFO("cap id {} != {}, expired", finished->id, captureId_);
        return;
    }
    runPending_ = false;
    UserManager::Instance()->TranslateEnd(ok, finished->task, finished->lines);
    resultStatus_->SetVisible(false);
    if (!ok) {
        VL_WARN("cap id {}, translate failed", finished->id);
        const TranslateTask& task = finished->task;
        const std::string& why = task.ocrErrInfo.empty() ? task.transErrInfo : task.ocrErrInfo;
        // Without a text of its own, a run that has lines failed in the translation step.
        ShowStatus(u"翻译失败：" + (!why.empty()              ? ShortReason(why)
                                    : finished->lines.empty() ? u"文字识别请求失败，请检查网络"
                                                              : u"翻译请求失败，请检查网络"));
        return;
    }
    ShowFloatWindow();
    uncover_ = ConfigManager::Instance()->conf().effect() == "uncover";
    for (const TranslateLine& line : finished->lines) {
        line.vertical ? ShowVerticalText(line) : ShowHorizontalText(line);
        shown_.push_back(line.translation);
    }
    if (finished->lines.empty()) {
        VL_INFO("no string to translate");
        ShowStatus(u"没有识别到文字");
    }
}

int ResultWnd::FontFor(int size) {
    // A box from the service can be any size; no line is taller than the screen.
    size = std::clamp(size, 0, std::max(desktop_.Height(), 1));
    const int id = size + 100;
    if (fonts_.insert(id).second) {
        VL_INFO("no font for size {}", size);
        Manager().AddFont(id, kLabelFace, size, false, false, false);
    }
    return id;
}

// Both label kinds: a floating dark box at its place, with the font of its size.
void ResultWnd::PlaceLabel(skin::Label* label, const capture::LabelBox& box) {
    label->SetFloat(true);
    label->SetFixedXY(box.x, box.y);
    label->SetFixedWidth(box.width);
    label->SetFixedHeight(box.height);
    label->SetBkColor(uncover_ ? kUncoverBackground : kLabelBackground);
    label->SetTextOutline(uncover_);
    label->SetFont(FontFor(box.fontSize));
}

// The labels' white text comes from the layout's style sheet: a style rule of each label's own
// would cost a style sheet parse per label.
void ResultWnd::ShowHorizontalText(const TranslateLine& line) {
    auto* label = new (std::nothrow) skin::Label();
    if (label == nullptr) {
        VL_ERROR("create DuiLib::CLabelUI failed, no enough memory");
        return;
    }
    PlaceLabel(label,
               capture::HorizontalLabel(line.rect, dpi_, region96_, line.translation.size()));
    label->SetText(line.translation);
    label->SetTextPadding(skin::Rect{1, 1, 1, 1});
    resultTranslation_->Add(label);
}

void ResultWnd::ShowVerticalText(const TranslateLine& line) {
    if (line.translation.empty()) {
        return;
    }
    auto* label = new (std::nothrow) ResultZlabel();
    if (label == nullptr) {
        VL_ERROR("create DuiLib::CLabelUI failed, no enough memory");
        return;
    }
    PlaceLabel(label, capture::VerticalLabel(line.rect, dpi_, region96_, line.translation.size()));
    label->SetMultiLine(true);
    label->SetShowHtml(true);
    label->SetAttribute("align", u"center");
    label->SetAttribute("valign", u"top");
    label->SetEnabledEffect(true);
    label->SetText(line.translation);
    label->SetTextPadding(skin::Rect{});
    resultTranslation_->Add(label);
}

void ResultWnd::ShowStatus(const std::u16string& text) {
    const QFontMetrics metrics(resultStatus_->font());
    const skin::Rect pad = resultStatus_->GetTextPadding();
    const int width =
        metrics.horizontalAdvance(QString::fromStdU16String(text)) + pad.left + pad.right + 2;
    const int height = metrics.height() + pad.top + pad.bottom;
    // Just above the region, or inside its top edge when there is no room above; always on the
    // screen, also for a region that is not.
    int y = region96_.top - height - kStatusGap;
    if (y < 0) {
        y = region96_.top + kStatusGap;
    }
    const int x = std::clamp(region96_.left, 0, std::max(desktop_.Width() - width, 0));
    y = std::clamp(y, 0, std::max(desktop_.Height() - height, 0));
    resultStatus_->SetText(text);
    resultStatus_->SetFixedXY(x, y);
    resultStatus_->SetFixedWidth(width);
    resultStatus_->SetFixedHeight(height);
    resultStatus_->SetVisible(true);
}

void ResultWnd::ClearResult() {
    shown_.clear();
    resultTranslation_->RemoveAll();
    resultMaskBorder_->SetVisible(false);
    resultClip_->SetVisible(false);
    resultStatus_->SetVisible(false);
    ShowWindow(false);
}

void ResultWnd::Dismiss() {
    DropPendingRun();
    ClearResult();
    // The ball comes back with the screen, also after a run that showed no result.
    ShowFloatWindow();
}
