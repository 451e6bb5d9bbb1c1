#pragma once

#include <functional>
#include <string>

namespace vl {

// Opens an absolute http:// or https:// address in the user's browser; anything else is refused.
// False when the opener fails (xdg-open exits with an error: no browser); waits at most a few
// seconds for it, so a browser that stays in front does not hold the caller.
bool OpenUrlWithDefaultBrowser(const std::string& url);

// Replaces the browser launcher (tests); an empty function restores xdg-open.
using UrlOpener = std::function<bool(const std::string& url)>;
void SetUrlOpener(UrlOpener opener);

}  // namespace vl
