#include "ui/link.h"

#include "ui/skin/text.h"
#include "utils/vl_browser.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

bool OpenLink(const std::string& target) {
    const std::string url = vl::LinkUrl(target);
    if (!vl::OpenUrlWithDefaultBrowser(url)) {
        VL_ERROR("open url failed, url {}", url);
        return false;
    }
    return true;
}

bool OpenTextLink(const skin::Notification& msg) {
    const auto* text = dynamic_cast<const skin::Text*>(msg.sender);
    return OpenLink(text != nullptr ? vl::ToUtf8(text->GetLinkContent(static_cast<int>(msg.wParam)))
                                    : std::string());
}
