#include "utils/vl_browser.h"

#include <cctype>
#include <chrono>
#include <mutex>

#include "utils/vl_launch.h"
#include "utils/vl_log.h"

namespace vl {

namespace {

// xdg-open hands the address over and ends; one that is still running after this has started a
// browser in front of it.
constexpr std::chrono::milliseconds kOpenerWait{3000};

std::mutex g_openerMutex;
UrlOpener g_urlOpener;

bool IsWebAddress(const std::string& url) {
    std::string scheme;
    const auto sep = url.find("://");
    if (sep == std::string::npos)
        return false;
    for (std::size_t i = 0; i < sep; ++i) {
        scheme.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(url[i]))));
    }
    if (scheme != "http" && scheme != "https")
        return false;
    const std::size_t hostStart = sep + 3;
    if (hostStart >= url.size() || url[hostStart] == '/' || url[hostStart] == '?' ||
        url[hostStart] == '#') {
        return false;  // no host
    }
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            return false;  // spaces and control characters
    }
    return true;
}

}  // namespace

bool OpenUrlWithDefaultBrowser(const std::string& url) {
    if (url.empty()) {
        VL_WARN("url is invalid");
        return false;
    }
    if (!IsWebAddress(url)) {
        VL_WARN("url {} is refused, only http and https addresses are opened", url);
        return false;
    }
    UrlOpener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_urlOpener;
    }
    if (opener) {
        return opener(url);
    }
    std::string error;
    if (!Launch("xdg-open", {url}, kOpenerWait, error)) {
        VL_ERROR("ShellExecute failed with {}, url {}, last error {}", error, url, 0);
        return false;
    }
    return true;
}

void SetUrlOpener(UrlOpener opener) {
    std::lock_guard lock(g_openerMutex);
    g_urlOpener = std::move(opener);
}

}  // namespace vl
