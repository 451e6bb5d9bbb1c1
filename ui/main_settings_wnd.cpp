#include "ui/main_settings_wnd.h"

#include <charconv>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

#include "ui/link.h"
#include "ui/main_noupdate_wnd.h"
#include "ui/skin/control.h"
#include "utils/vl_backend.h"
#include "utils/vl_env.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_string.h"

namespace {

// A JSON number or a text of decimal digits (with an optional minus) as a signed 64-bit value;
// throws std::invalid_argument for anything else.
std::int64_t VersionCode(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::numeric_limits<std::int64_t>::max();
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (d >= 9.2e18 || d <= -9.2e18 || d != d) {
            throw std::invalid_argument("versionCode is out of range");
        }
        return static_cast<std::int64_t>(d);
    }
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        std::int64_t code = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
        if (ec == std::errc() && end == text.data() + text.size()) {
            return code;
        }
    }
    throw std::invalid_argument("versionCode is neither an integer nor its decimal text");
}

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
    }
}

void MainSettingsWnd::CheckVersion() {
    const vl::HWND hwnd = GetHWND();
    const bool queued = vl::Http::Instance()->GetAsync(
        [hwnd](bool ok, const std::string& error, std::int32_t, const std::string& response,
               const std::string&, const std::string&, std::int32_t) {
            auto text = std::make_unique<std::string>(ok ? response : error);
            vl::PostOwned(hwnd, kVersionMessage, ok, std::move(text));
        },
        vl::ServiceUrl(vl::backend::kAppUpdate.path), {{"Access-Token", ""}});
    if (!queued) {
        VL_ERROR("check version failed, \r\n{}", "not queued");
        return;
    }
    checking_ = true;
}

std::optional<MainSettingsWnd::RemoteVersion> MainSettingsWnd::ParseVersion(
    const std::string& answer) {
    try {
        const nlohmann::json root = vl::json::Parse(answer);
        const int code = vl::json::ToInt32(root.at("code"));
        if (code != 0) {
            VL_WARN("parse version info failed, code {}, msg {}", code,
                    root.value("msg", std::string()));
            return std::nullopt;
        }
        const nlohmann::json& data = root.at("data");
        RemoteVersion remote;
        remote.version.name = data.at("versionName").get<std::string>();
        remote.code = VersionCode(data.at("versionCode"));
        remote.version.desc = data.at("desc").get<std::string>();
        remote.version.downloadUrl = data.at("downloadUrl").get<std::string>();
        return remote;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, answer);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(answer);
    }
    return std::nullopt;
}

// An answer that is refused or cannot be read is a failed check: logged, and the settings page
// stays as it was. Only a readable answer hides it for the page that follows.
void MainSettingsWnd::OnVersion(bool ok, const std::string* answer) {
    checking_ = false;
    if (answer == nullptr) {
        VL_ERROR("ver is invalid");
        return;
    }
    if (!ok) {
        VL_WARN("check version failed, \r\n{}", *answer);
        return;
    }
    if (answer->empty()) {
        VL_WARN("json is empty");
        return;
    }
    const std::optional<RemoteVersion> remote = ParseVersion(*answer);
    if (!remote) {
        return;
    }
    ShowWindow(false);
    const std::int64_t local = static_cast<std::int64_t>(vl::VersionNumber());
    if (remote->code > local) {
        RunPage<MainUpdateWnd>(GetHWND(), u"Velmora翻译-有更新", "main update", remote->version);
    } else {
        RunPage<MainNoUpdateWnd>(GetHWND(), u"Velmora翻译-无更新", "main no update");
    }
    Close(1);
}
