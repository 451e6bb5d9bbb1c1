#include "ui/session_notice.h"

#include "platform/portal.h"
#include "ui/posted_msgbox.h"
#include "utils/vl_file.h"
#include "utils/vl_log.h"
#include "utils/vl_session.h"

std::u16string SessionNoticeText(const SessionAbilities& abilities) {
    std::u16string text = u"当前为 Wayland 会话。\n";
    text += abilities.capture ? u"屏幕读取：可用（桌面门户）。\n"
                              : u"屏幕读取：不可用，请安装 xdg-desktop-portal 及 "
                                u"xdg-desktop-portal-gnome、-kde 或 -wlr。\n";
    text += abilities.shortcuts
                ? u"快捷键：Ctrl+Alt+T 翻译，Ctrl+Alt+R 设置区域。"
                : u"快捷键：桌面不提供全局快捷键，请在桌面设置中把 velmora-translator "
                  u"--translate 和 --region 设为快捷键，或使用托盘菜单。";
    return text;
}

void NoticeSessionAbilities(vl::HWND parent, bool shortcuts, const std::string& markerPath) {
    if (vl::DetectSession() != vl::SessionKind::Wayland) {
        return;
    }
    const SessionAbilities abilities{
        vl::platform::PortalOffers(QString::fromLatin1(vl::platform::kScreenshotPortal)),
        shortcuts};
    VL_INFO("wayland session: screen capture through the portal {}, global shortcuts {}",
            abilities.capture ? "available" : "missing",
            abilities.shortcuts ? "available" : "missing (bind --translate and --region)");
    const std::string said = std::string("capture=") + (abilities.capture ? "1" : "0") +
                             " shortcuts=" + (abilities.shortcuts ? "1" : "0") + "\n";
    std::string before, error;
    if (vl::ReadWholeFile(markerPath, before, error) == vl::ReadFileResult::Ok && before == said) {
        return;
    }
    if (!vl::WriteFileAtomically(markerPath, said, error)) {
        VL_WARN("remembering the session notice failed: {}", error);
    }
    PostMsgBox(parent, SessionNoticeText(abilities));
}
