#include "ui/main_settings_wnd.h"

#include <memory>

#include "logic/window_answers.h"
#include "protocol/backend_protocol.h"
#include "ui/link.h"
#include "ui/main_noupdate_wnd.h"
#include "ui/main_services_wnd.h"
#include "ui/skin/control.h"
#include "utils/vl_env.h"
#include "utils/vl_http.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

constexpr char16_t kCheckFailed[] = u"检查更新失败，请稍后重试";

}  // namespace

MainSettingsWnd::MainSettingsWnd()
    : PageWindow("main/settings.xml", "create main settings window failed") {}

bool MainSettingsWnd::OnCreate() {
    skin::Control* ver = nullptr;
    if (!Manager().Bind({{"ver", &ver}})) {
        return false;
    }
    ver->SetText(u"版本信息：" + vl::ToWString(vl::VersionString()));
    return true;
}

vl::LRESULT MainSettingsWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (msg == kVersionMessage) {
        OnVersion(wParam != 0, vl::TakePosted<std::string>(lParam).get());
        return 0;
    }
    return PageWindow::HandleMessage(msg, wParam, lParam);
}

void MainSettingsWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type == "link" && (msg.senderName == "protocol" || msg.senderName == "policy")) {
        OpenTextLink(msg);
    } else if (msg.type == "click" && msg.senderName == "check" && !checking_) {
        CheckVersion();
    } else if (msg.type == "click" && msg.senderName == "services") {
        RunPage<MainServicesWnd>(GetHWND(), u"Velmora翻译-翻译服务", "main services");
    }
}

void MainSettingsWnd::ShowFailure(const std::u16string& text) {
    if (skin::Control* status = Manager().FindControl("status")) {
        status->SetText(text);
        status->SetVisible(!text.empty());
    }
}

void MainSettingsWnd::CheckVersion() {
    const vl::HWND hwnd = GetHWND();
    const bool queued = vl::Http::Instance()->Async(
        {.url = vl::ServiceUrl(velmora::protocol::kAppUpdate.path),
         .headers = {{"Access-Token", ""}}},
        [hwnd](const vl::Http::Result& r) {
            auto text = std::make_unique<std::string>(r.ok ? r.response : r.error);
            vl::PostOwned(hwnd, kVersionMessage, r.ok, std::move(text));
        });
    if (!queued) {
        VL_ERROR("check version failed, \r\n{}", "not queued");
        ShowFailure(kCheckFailed);
        return;
    }
    ShowFailure(u"");
    checking_ = true;
}

// An answer that is refused or cannot be read is a failed check: logged and said on the page,
// which stays open. Only a readable answer hides it for the page that follows.
void MainSettingsWnd::OnVersion(bool ok, const std::string* answer) {
    checking_ = false;
    if (answer == nullptr) {
        VL_ERROR("ver is invalid");
        return;
    }
    answers::Version remote;
    if (!ok) {
        VL_WARN("check version failed, \r\n{}", *answer);
    } else if (answer->empty()) {
        VL_WARN("json is empty");
    }
    if (!ok || answer->empty() || !answers::ReadVersion(*answer, &remote)) {
        ShowFailure(kCheckFailed);
        return;
    }
    ShowWindow(false);
    const std::int64_t local = static_cast<std::int64_t>(vl::VersionNumber());
    if (remote.code > local) {
        RunPage<MainUpdateWnd>(
            GetHWND(), u"Velmora翻译-有更新", "main update",
            MainUpdateWnd::Version{remote.name, remote.desc, remote.downloadUrl});
    } else {
        RunPage<MainNoUpdateWnd>(GetHWND(), u"Velmora翻译-无更新", "main no update");
    }
    Close(1);
}
